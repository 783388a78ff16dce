#pragma once

#include "BrindleCore/FileManager.h"

// Putting what a run wrote on stable storage. Internal to the core.
namespace brindle::posix {

// How a file system is brought to stable storage, chosen by its type.
enum class SyncMethod {
    // Memory file systems (tmpfs, ramfs): nothing survives a power cut, so there is
    // nothing to wait for.
    none,
    // Local disk file systems: one syncfs() writes out every file and folder at once,
    // far cheaper than a call per file, and the early writeback started by each copy
    // leaves it little to do.
    wholeFileSystem,
    // Everything else, FUSE mounts (how cloud-drive clients present their folders) and
    // network file systems above all: syncfs() does not reach their servers, fsync()
    // of each file and folder does.
    eachEntry,
};
// The method for the file system with this statfs f_type.
SyncMethod syncMethodFor(long fileSystemType);

void syncTree(const Path& path);
void syncFolder(const Path& path);

}  // namespace brindle::posix
