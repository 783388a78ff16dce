#include "BrindleCore/Publisher.h"

#include <exception>

#include "BrindleCore/BackupServiceError.h"
#include "BrindleCore/BackupManifest.h"
#include "BrindleCore/RandomUUID.h"

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

namespace {

// Two targets hold the same backup when their manifests are the same bytes: each run
// writes its own (with its time), and publishes that one file into every target.
bool holdTheSameBackup(FileManager& fileManager, const Path& a, const Path& b) {
    try {
        return fileManager.readFile(a / kManifestFileName) == fileManager.readFile(b / kManifestFileName);
    } catch (const std::exception&) {
        return false;  // only a proven duplicate is ever removed early
    }
}

// Out of sight in one step (so the target is either whole or absent), then removed;
// what cannot be removed now is a leftover the next publish into that folder sweeps.
void setAsideAndRemove(FileManager& fileManager, const Path& target) {
    const Path aside = target.parent_path() / (".unpublishing-" + randomUUID());
    fileManager.moveItem(target, aside);
    removeQuietly(fileManager, aside);
}

}  // namespace

void publishBackupContents(FileManager& fileManager, const std::vector<Path>& targets, const Path& staging) {
    // A target that holds the same backup as the first (the day's snapshot made by the
    // run that made latest) is only a second copy of it, and goes before anything is
    // copied: the copies then reuse its memory and disk space. It is never the only
    // copy of anything: the first target keeps that backup until its own new content
    // is whole, and a later failure leaves that target no older than success would.
    for (std::size_t i = 1; i < targets.size(); ++i) {
        try {
            if (fileManager.entryExists(targets[i]) && holdTheSameBackup(fileManager, targets[0], targets[i]))
                setAsideAndRemove(fileManager, targets[i]);
        } catch (const std::exception&) {
            // Kept, and replaced the ordinary way below.
        }
    }
    // One after the other, each copy shared between the threads (copyItem does that):
    // a publish ends by removing the content it replaced, so the next one fills the
    // memory that content held instead of claiming as much again. Side by side, both
    // new copies would exist before either old one had gone. A failed publish does not
    // keep the next from being made; the first error is the one raised.
    std::exception_ptr firstError;
    for (const auto& target : targets) {
        try {
            publishBackupContents(fileManager, target, staging);
        } catch (...) {
            if (!firstError) firstError = std::current_exception();
        }
    }
    if (firstError) std::rethrow_exception(firstError);
}

}  // namespace brindle
