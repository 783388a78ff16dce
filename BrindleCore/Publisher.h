#pragma once

#include <vector>

#include "BrindleCore/FileManager.h"

namespace brindle {

// Makes `target` hold exactly the staging folder's entries without ever leaving it
// empty or half-filled: the copy is assembled in a hidden sibling folder and swapped
// into place in one step. Throws BackupServiceError::unableToPublishBackup with the
// failed step's description; the target then still holds its earlier content.
void publishBackupContents(FileManager& fileManager, const Path& target, const Path& staging);

// Publishes the staging folder into every target, one after the other in the order
// given. Each target is published as above, independently: when one fails, the others
// are still published and end whole (new or as they were). Throws the first failed
// target's error.
void publishBackupContents(FileManager& fileManager, const std::vector<Path>& targets, const Path& staging);

}  // namespace brindle
