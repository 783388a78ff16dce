#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "BrindleCore/FileManager.h"

namespace brindle {

// Publishes a staged backup as `latest` and as the day's snapshot so that each is, at
// every moment and across a crash or a power cut, either the whole earlier backup or
// the whole new one:
// - the staging folder is put on stable storage and takes the place of `latest` in
//   one step (see swapIntoPlace), and what it replaced is removed;
// - the snapshot's copy is then made from it beside its target, put on stable storage
//   and swapped in the same way.
// Each target is published on its own: when one fails the other is still published.
// Throws BackupServiceError::unableToPublishBackup with the first failure in the
// order latest, snapshot; the failed target still holds its earlier content then.
// The staging folder is gone afterwards, unless publishing `latest` failed.
void publishBackup(FileManager& fileManager, const Path& staging, const Path& latest, const Path& daySnapshot);

// The hidden names a kind of work gives what it leaves in a folder while it works:
// the target it renamed aside (`aside` + target + "-" + id) and its other temporary
// entries (one of `temporary` + id). Only names of exactly that form are ever
// touched, so that a user's own entry is never taken for Brindle's.
struct TemporaryNames {
    std::string_view aside;
    std::vector<std::string_view> temporary;
};
// Publishing backups in the machine folder and its "Snapshots".
extern const TemporaryNames kPublishingNames;

// Puts the tree at `incoming` (whole and on stable storage) in the place of `target`
// in one step and removes what it replaced. Where the file system cannot swap two
// entries, `target` is first renamed aside to a name that says what it is
// (`names.aside` + target + "-" + id), each rename made durable before the next, so
// that a crash in between leaves the earlier content for recoverInterrupted to put back.
void swapIntoPlace(FileManager& fileManager, const Path& incoming, const Path& target,
                   const TemporaryNames& names = kPublishingNames);

// What interrupted work left in `folder`, whose `entries` are given, set right before
// new work touches anything: a target renamed aside whose place is empty is put back
// (it is the only whole copy of it); every other temporary entry (incoming, or aside
// with its target in place) is removed. Callers hold the run lock, so none of them
// belongs to work still going on. An aside from before asides named their target
// stands for `unnamedAsideTarget` ("latest" in the machine folder); where that is
// empty, such a folder is left alone rather than risk the only copy of a backup.
void recoverInterrupted(FileManager& fileManager, const Path& folder, const std::vector<Path>& entries,
                        const TemporaryNames& names, std::string_view unnamedAsideTarget = {});
// The same for a folder of publishing (the machine folder, "Snapshots"), if it exists.
void recoverInterruptedPublishing(FileManager& fileManager, const Path& folder,
                                  std::string_view unnamedAsideTarget = {});

// Removes a temporary entry of the work that failed, if it is there; when that fails
// too, the entry is left for recoverInterrupted to remove before the next work.
void removeQuietly(FileManager& fileManager, const Path& path);

// Creates the folder and any missing parents, and puts their new names on stable
// storage: a backup published inside them must not vanish with them in a power cut.
void createDirectoryDurably(FileManager& fileManager, const Path& path);

// The name of the folder an aside target gets, and the target an aside name stands for
// (empty when the name is not one).
std::string asideName(std::string_view target, const TemporaryNames& names = kPublishingNames);
std::string targetOfAside(std::string_view name, const TemporaryNames& names = kPublishingNames);

}  // namespace brindle
