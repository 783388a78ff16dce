#include "BrindleCore/Publisher.h"

#include <exception>
#include <functional>
#include <set>

#include "BrindleCore/BackupServiceError.h"
#include "BrindleCore/Concurrently.h"
#include "BrindleCore/SnapshotNames.h"

namespace brindle {

namespace {

void removeQuietly(FileManager& fileManager, const Path& path) {
    try {
        if (fileManager.entryExists(path)) fileManager.removeItem(path);
    } catch (const std::exception&) {
    }
}

bool isPublishingLeftover(const std::string& name) {
    return name.rfind(".publishing-", 0) == 0 || name.rfind(".unpublishing-", 0) == 0;
}

// A crash, or a removal that failed, can leave a temporary folder of an earlier
// publish behind; runs never overlap (the run lock), so any such folder is stale.
void removeLeftovers(FileManager& fileManager, const Path& parent) {
    if (!fileManager.fileExists(parent)) return;
    for (const auto& entry : fileManager.contentsOfDirectory(parent)) {
        if (isPublishingLeftover(entry.filename().string())) fileManager.removeItem(entry);
    }
}

}  // namespace

void publishBackupContents(FileManager& fileManager, const Path& target, const Path& staging) {
    // Hidden and without a space, so that neither retention nor duplicate cleanup
    // can ever take it for one of their names.
    const std::string id = randomUUID();
    const Path parent = target.parent_path();
    const Path incoming = parent / (".publishing-" + id);
    const Path outgoing = parent / (".unpublishing-" + id);
    bool swapped = false;
    try {
        fileManager.createDirectory(parent);
        removeLeftovers(fileManager, parent);
        // An existing target must be a folder (a file in its place is an error, not
        // something to replace); a missing one is only created by the final rename, so
        // that a failure never leaves an empty snapshot behind.
        const bool targetExists = fileManager.entryExists(target);
        if (targetExists) {
            fileManager.createDirectory(target);
            // The content about to be replaced stays on disk until the swap, but its
            // cached pages are of no further use: dropping them lets this copy reuse
            // that memory instead of claiming as much again, and leaves the rest of
            // the user's cache alone.
            fileManager.dropCachedPages(target);
        }
        fileManager.createDirectory(incoming);
        for (const auto& entry : fileManager.contentsOfDirectory(staging))
            fileManager.copyItem(entry, incoming / entry.filename());
        if (!targetExists) {
            fileManager.moveItem(incoming, target);
        } else if (fileManager.exchangeItems(incoming, target)) {
            swapped = true;
            fileManager.removeItem(incoming);  // now the earlier content
        } else {
            fileManager.moveItem(target, outgoing);
            try {
                fileManager.moveItem(incoming, target);
            } catch (...) {
                fileManager.moveItem(outgoing, target);
                throw;
            }
            swapped = true;
            fileManager.removeItem(outgoing);
        }
    } catch (const std::exception& error) {
        // Before the swap the temporary folder holds the partial new copy; after it,
        // the earlier content that could not be removed. Either way it must not stay
        // behind to be synced, and the target is whole.
        removeQuietly(fileManager, incoming);
        if (swapped) removeQuietly(fileManager, outgoing);
        throw BackupServiceError::unableToPublishBackup(error.what());
    }
}

void publishBackupContents(FileManager& fileManager, const std::vector<Path>& targets, const Path& staging) {
    std::vector<std::function<void()>> tasks;
    std::set<Path> parents;
    for (const auto& target : targets) {
        parents.insert(target.parent_path());
        tasks.emplace_back([&fileManager, &target, &staging] { publishBackupContents(fileManager, target, staging); });
    }
    // Each publish sweeps its folder for stale temporary folders; two publishes into
    // one folder would take each other's for stale, so those go one after the other.
    runConcurrently(tasks, parents.size() == targets.size() ? concurrentThreadCount() : 1);
}

}  // namespace brindle
