#pragma once

#include "BrindleCore/FileManager.h"

namespace brindle {

// Makes `target` hold exactly the staging folder's entries without ever leaving it
// empty or half-filled: the copy is assembled in a hidden sibling folder and swapped
// into place in one step. Throws BackupServiceError::unableToPublishBackup with the
// failed step's description; the target then still holds its earlier content.
void publishBackupContents(FileManager& fileManager, const Path& target, const Path& staging);

}  // namespace brindle
