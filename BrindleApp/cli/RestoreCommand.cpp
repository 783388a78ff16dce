#include "BrindleApp/cli/RestoreCommand.h"

#include <exception>

#include "BrindleApp/cli/CommandLine.h"
#include "BrindleApp/cli/CommandSettings.h"
#include "BrindleApp/cli/ListCommand.h"
#include "BrindleApp/cli/Wording.h"
#include "BrindleCore/BackupService.h"
#include "BrindleCore/FileLock.h"
#include "BrindleCore/Machine.h"
#include "BrindleCore/RestoreChanges.h"
#include "BrindleCore/Restorer.h"

namespace brindle::cli {

namespace {

std::string keptText(const std::vector<std::string>& kept) {
    std::string text;
    for (const auto& name : kept) text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string itemLine(const RestoreItem& item, std::size_t width) {
    return item.item.id + std::string(width - std::min(width, item.item.id.size()) + 2, ' ') + item.target.string();
}

std::size_t idWidth(const RestorePlan& plan) {
    std::size_t width = 0;
    for (const auto& item : plan.items) width = std::max(width, item.item.id.size());
    return width;
}

void printDryRun(std::ostream& out, FileManager& fileManager, const RestorePlan& plan) {
    out << "Restoring from " << plan.backup.path.string() << " (" << madeWhen(plan.backup) << ") would change:\n";
    const std::size_t width = idWidth(plan);
    for (const auto& item : plan.items) {
        out << "  " << itemLine(item, width) << ": ";
        try {
            const RestoreChanges changes = changesOfRestore(fileManager, item);
            if (changes.none()) {
                out << "no change\n";
            } else {
                out << changes.added << " added, " << changes.changed << " changed, " << changes.removed << " removed\n";
            }
            for (const auto& change : changes.first) {
                const std::string kind(kindName(change.kind));
                out << "      " << kind << std::string(9 - kind.size(), ' ') << change.path << "\n";
            }
            const std::size_t total = changes.added + changes.changed + changes.removed;
            if (total > changes.first.size()) out << "      and " << total - changes.first.size() << " more\n";
            if (!changes.kept.empty()) out << "      kept as it is: " << keptText(changes.kept) << "\n";
        } catch (const std::exception& error) {
            out << "cannot tell: " << error.what() << "\n";
        }
    }
    out << "Nothing was changed: this was a dry run.\n";
}

int report(std::ostream& out, std::ostream& err, const RestoreOutcome& outcome) {
    out << "Saved what is replaced in " << outcome.undo.string() << "\n";
    out << "Restored " << outcome.restoredCount() << " of " << counted(outcome.items.size(), "item", "items") << " from "
        << outcome.backup.path.string() << " (" << madeWhen(outcome.backup) << "):\n";
    std::size_t width = 0;
    for (const auto& item : outcome.items) width = std::max(width, item.item.item.id.size());
    for (const auto& item : outcome.items) {
        if (item.failure) {
            out << "  failed    " << itemLine(item.item, width) << ": " << *item.failure << "\n";
            continue;
        }
        out << "  restored  " << itemLine(item.item, width) << " ("
            << filesAndBytes(item.item.entry.fileCount, item.item.entry.byteCount) << ")";
        if (!item.kept.empty()) out << ", kept as it was: " << keptText(item.kept);
        out << "\n";
    }
    out << "To undo: brindle restore " << shellQuoted(outcome.undo.string()) << "\n";
    for (const auto& item : outcome.items) {
        if (!item.failure && !item.wasThere) {
            out << "  (" << item.item.target.string() << " was not there before; the undo leaves it, remove it by hand "
                << "if you do not want it.)\n";
        }
    }
    out.flush();
    if (outcome.restoredCount() == outcome.items.size()) return exit_status::success;
    if (outcome.restoredCount() > 0) return exit_status::incomplete;
    err << "Restore failed: no item could be restored, and each was left as it was.\n" << std::flush;
    return exit_status::failed;
}

}  // namespace

int RestoreCommand::operator()() const {
    const SettingsStore store = readSettings(fileManager, folders, err);
    RestoreRequest request;
    auto ids = operands.begin();
    if (ids != operands.end() && namesABackup(*ids)) request.backup = *ids++;
    request.itemIds.assign(ids, operands.end());
    try {
        const Path machineFolder = machineFolderFor(store.settings(), Machine::currentName());
        if (dryRun) {
            printDryRun(out, fileManager, planRestore(fileManager, machineFolder, folders.home, request));
            out.flush();
            return exit_status::success;
        }
        return report(out, err,
                      performRestore(fileManager, machineFolder, folders.home, request,
                                     lockPathBeside(store.settingsURL(), kRunLockName)));
    } catch (const RestoreRefused& refusal) {
        err << "Restore refused: " << refusal.what() << " Nothing was changed.\n" << std::flush;
    } catch (const std::exception& error) {
        err << "Restore failed: " << error.what() << " Nothing was changed.\n" << std::flush;
    }
    return exit_status::failed;
}

}  // namespace brindle::cli
