#include "BrindleCore/Restorer.h"

#include <cerrno>
#include <exception>
#include <set>

#include "BrindleCore/BackupService.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/ItemCopier.h"
#include "BrindleCore/Publisher.h"
#include "BrindleCore/RestorePlace.h"
#include "BrindleCore/RandomUUID.h"
#include "BrindleCore/UndoCopy.h"

namespace brindle {

namespace {

// The entries of the item's current folder under its excluded paths, copied into the
// folder being built: links as links, with their bits and times.
std::vector<std::string> keepExcluded(FileManager& fileManager, const RestoreItem& restore, const Path& building) {
    std::vector<std::string> kept = excludedEntriesOf(fileManager, restore);
    for (const auto& excluded : kept) {
        const Path into = appendingRelativePath(building, excluded);
        // A backup from elsewhere may hold something there; the current entry wins.
        if (fileManager.examine(into, Links::noFollow).exists()) fileManager.removeItem(into);
        fileManager.createDirectory(into.parent_path());
        fileManager.copyItem(appendingRelativePath(restore.target, excluded), into, CopySource::user);
    }
    return kept;
}

// The backup's copy built at `building`, with what the current folder keeps.
std::vector<std::string> build(FileManager& fileManager, const RestoreItem& restore, const Path& building) {
    if (!fileManager.examine(restore.copy, Links::noFollow).isDirectory()) {
        if (!excludedEntriesOf(fileManager, restore).empty()) {
            throw FileSystemError(ENOTDIR, restore.copy.string(),
                                  "Could not restore " + quotedPath(restore.target.string()) + ": the backup holds a file " +
                                      "in place of the folder, whose excluded entries would be lost.");
        }
        fileManager.copyItem(restore.copy, building, CopySource::own);
        return {};
    }
    // The folder is filled entry by entry and only then given the backup's bits and
    // times, so that a read-only folder can still take the kept entries.
    fileManager.createDirectory(building, 0700);
    const std::set<std::string> excluded(restore.item.excludedRelativePaths.begin(),
                                         restore.item.excludedRelativePaths.end());
    for (const auto& entry : fileManager.contentsOfDirectory(restore.copy)) {
        if (!shouldExclude(entry.filename().string(), excluded))
            fileManager.copyItem(entry, building / entry.filename(), CopySource::own);
    }
    std::vector<std::string> kept = keepExcluded(fileManager, restore, building);
    fileManager.copyAttributes(restore.copy, building);
    return kept;
}

}  // namespace

std::vector<std::string> excludedEntriesOf(FileManager& fileManager, const RestoreItem& item) {
    std::vector<std::string> entries;
    if (!fileManager.examine(item.target, Links::noFollow).isDirectory()) return entries;
    for (const auto& excluded : item.item.excludedRelativePaths) {
        if (!excluded.empty() && fileManager.examine(appendingRelativePath(item.target, excluded), Links::noFollow).exists())
            entries.push_back(excluded);
    }
    return entries;
}

std::size_t RestoreOutcome::restoredCount() const {
    std::size_t count = 0;
    for (const auto& item : items) count += item.failure ? 0 : 1;
    return count;
}

std::vector<std::string> restoreItem(FileManager& fileManager, const RestoreItem& restore) {
    const Path parent = restore.target.parent_path();
    createDirectoryDurably(fileManager, parent);
    const Path building = parent / (std::string(kRestoringNames.temporary.front()) + randomUUID());
    try {
        std::vector<std::string> kept = build(fileManager, restore, building);
        fileManager.syncTree(building);
        swapIntoPlace(fileManager, building, restore.target, kRestoringNames);
        return kept;
    } catch (...) {
        removeQuietly(fileManager, building);
        throw;
    }
}

RestoreOutcome performRestore(FileManager& fileManager, const Path& machineFolder, const Path& homeDirectory,
                              const RestoreRequest& request, const Path& lockFile, std::chrono::milliseconds patience) {
    (void)planRestore(fileManager, machineFolder, homeDirectory, request);
    const FileLock lock = holdRunLock(fileManager, lockFile, patience);
    recoverInterruptedRestores(fileManager, DefaultBackupItems::items(homeDirectory));
    const Path undoFolder = machineFolder / kUndoFolderName;
    recoverInterruptedPublishing(fileManager, undoFolder);
    // Again under the lock: a backup may have replaced latest while this one waited.
    const RestorePlan plan = planRestore(fileManager, machineFolder, homeDirectory, request);
    RestoreOutcome outcome{plan.backup, {}, {}};
    for (const auto& item : plan.items)
        outcome.items.push_back({item, {}, fileManager.examine(item.target, Links::noFollow).exists(), std::nullopt});
    outcome.undo = saveForUndo(fileManager, plan, undoFolder, machineFolder.filename().string(),
                               std::chrono::system_clock::now());
    for (auto& restored : outcome.items) {
        try {
            restored.kept = restoreItem(fileManager, restored.item);
        } catch (const std::exception& error) {
            restored.failure = error.what();
        }
    }
    return outcome;
}

}  // namespace brindle
