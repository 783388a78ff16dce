#pragma once

#include "BrindleCore/FileManager.h"

// The removal behind PosixFileManager::removeItem. Internal to the core.
namespace brindle::posix {

// Removes a file, a link or a folder tree; the error names the entry that failed.
// Folders that their bits make read-only or unreadable to their owner are opened up
// first, so that a backup of such a folder can always be removed again.
void removeEntry(const Path& path);
// The same for an entry of an open folder.
void removeEntryAt(int parentFd, const char* name, const Path& path);

}  // namespace brindle::posix
