#pragma once

#include <sys/stat.h>

#include <memory>

#include "BrindleCore/FileManager.h"

namespace brindle {

// The POSIX walk behind PosixFileManager::walk: one lstat per entry (fstatat on the
// open parent folder), folders opened relative to their parent.
std::unique_ptr<DirectoryWalk> makePosixDirectoryWalk(const Path& root);

EntryInfo entryInfoFromStat(const struct stat& status);

}  // namespace brindle
