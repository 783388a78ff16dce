#include "BrindleApp/cli/BackupCommand.h"

#include <exception>
#include <string>

#include "BrindleApp/cli/CommandLine.h"
#include "BrindleApp/cli/CommandSettings.h"
#include "BrindleApp/cli/Wording.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PerformBackup.h"

namespace brindle::cli {

void printReport(std::ostream& out, const BackupResult& result) {
    const auto& manifest = result.manifest;
    out << "Backed up " << result.copiedItemCount() << " of " << manifest.items.size()
        << (manifest.items.size() == 1 ? " item" : " items") << " to " << result.latestURL.string() << "\n";
    for (const auto& item : manifest.items) {
        switch (item.status) {
        case BackupManifestItem::Status::copied:
            out << "  copied   " << item.displayName << " (" << filesAndBytes(item.fileCount, item.byteCount) << ")\n";
            break;
        case BackupManifestItem::Status::missing:
            // The message already names the item and where it was looked for.
            out << "  missing  " << item.message.value_or(item.displayName) << "\n";
            break;
        case BackupManifestItem::Status::failed:
            out << "  failed   " << item.displayName << ": " << item.message.value_or("") << "\n";
            break;
        }
    }
    for (const auto& warning : manifest.warnings) out << "Warning: " << warning << "\n";
}

int BackupCommand::operator()() const {
    const SettingsStore store = readSettings(fileManager, folders, err);
    if (interactive) err << "Backing up Codex files..." << std::flush;
    try {
        const BackupResult result = performBackup(fileManager, store.settings(), folders.home,
                                                  lockPathBeside(store.settingsURL(), kRunLockName));
        if (interactive) err << "\r\033[K" << std::flush;
        printReport(out, result);
        out.flush();
        for (const auto& item : result.manifest.items) {
            if (item.status == BackupManifestItem::Status::failed) return exit_status::incomplete;
        }
        return exit_status::success;
    } catch (const std::exception& error) {
        if (interactive) err << "\r\033[K";
        err << "Backup failed: " << error.what() << "\n" << std::flush;
        return exit_status::failed;
    }
}

}  // namespace brindle::cli
