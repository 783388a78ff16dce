#include "BrindleApp/cli/ListCommand.h"

#include <algorithm>
#include <exception>

#include "BrindleApp/cli/CommandLine.h"
#include "BrindleApp/cli/CommandSettings.h"
#include "BrindleApp/cli/Wording.h"
#include "BrindleCore/BackupService.h"
#include "BrindleCore/LocalTime.h"
#include "BrindleCore/Machine.h"

namespace brindle::cli {

namespace {

void printItems(std::ostream& out, const BackupManifest& manifest) {
    std::size_t width = 0;
    for (const auto& item : manifest.items) width = std::max(width, item.id.size());
    for (const auto& item : manifest.items) {
        const std::string status(rawValue(item.status));
        out << "  " << status << std::string(9 - std::min<std::size_t>(status.size(), 8), ' ') << item.id;
        if (item.status == BackupManifestItem::Status::copied) {
            out << std::string(width - item.id.size() + 2, ' ') << filesAndBytes(item.fileCount, item.byteCount);
        } else if (item.status == BackupManifestItem::Status::failed) {
            out << std::string(width - item.id.size() + 2, ' ') << item.message.value_or("");
        }
        out << "\n";
    }
    if (manifest.items.empty()) out << "  (no items)\n";
}

}  // namespace

std::string madeWhen(const ListedBackup& backup) {
    if (!backup.manifest) return "manifest unreadable: " + backup.manifestProblem;
    return "made " + localTime(backup.manifest->createdAt, "%Y-%m-%d %H:%M:%S %z");
}

void printListing(std::ostream& out, const Path& machineFolder, const std::vector<ListedBackup>& backups) {
    if (backups.empty()) {
        out << "No backups of this computer in " << machineFolder.string() << " yet.\n";
        return;
    }
    out << "Backups of this computer in " << machineFolder.string() << ", newest first:\n";
    bool undoHeading = false;
    std::size_t width = 0;
    for (const auto& backup : backups) {
        if (backup.kind != ListedBackup::Kind::undo) width = std::max(width, backup.name.size());
    }
    for (const auto& backup : backups) {
        if (backup.kind == ListedBackup::Kind::undo && !undoHeading) {
            undoHeading = true;
            out << "\nSaved by restores in " << (machineFolder / kUndoFolderName).string()
                << " (brindle restore 'PATH' puts one back):\n";
        }
        const std::size_t pad = backup.kind == ListedBackup::Kind::undo ? 0 : width - backup.name.size();
        out << "\n" << backup.name << std::string(pad + 2, ' ') << madeWhen(backup) << "\n";
        if (backup.manifest) printItems(out, *backup.manifest);
    }
}

int ListCommand::operator()() const {
    const SettingsStore store = readSettings(fileManager, folders, err);
    try {
        const Path machineFolder = machineFolderFor(store.settings(), Machine::currentName());
        const auto backups = listBackups(fileManager, machineFolder);
        if (json) {
            out << listingJson(machineFolder, backups) << "\n";
        } else {
            printListing(out, machineFolder, backups);
        }
        out.flush();
        return exit_status::success;
    } catch (const std::exception& error) {
        err << "Could not list the backups: " << error.what() << "\n" << std::flush;
        return exit_status::failed;
    }
}

}  // namespace brindle::cli
