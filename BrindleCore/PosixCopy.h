#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"
#include "BrindleCore/PosixFolder.h"

// The copy behind PosixFileManager::copyItem. Internal to the core.
namespace brindle::posix {

// An entry named relative to an open folder (AT_FDCWD and a full path at the top),
// with its full path kept for messages. Working relative to folders keeps the copy
// independent of how long the paths grow, and spares the kernel walking them again
// for every entry.
struct At {
    int dir;
    std::string name;
    Path path;
};

// Copies whatever is at `from` to the new name `to`, keeping permission bits and
// modification times: a folder with its whole content, a link as a link, a special
// file recreated (never opened), a regular file's contents copied by the kernel and
// sent on its way to the disk. On failure the partial entry at `to` is removed and
// the error names the entry that failed.
void copyAt(const At& from, const At& to, CopySource source);
// The same, with a folder's content shared between the run's threads.
void copyAtSharingWork(const At& from, const At& to, CopySource source);

// Both ends of a folder being copied, open, with what is needed to finish it.
struct FolderPair {
    FileDescriptor source;
    FileDescriptor target;
    Path from;
    Path to;
    struct stat status {};  // the source folder's
    unsigned grantedFrom = 0;
    bool granted = false;
};
// Opens a source folder (giving its owner access first when it is Brindle's own and
// unreadable) and the target folder just made for it.
FolderPair openFolderPair(const At& from, const At& to, const struct stat& status, CopySource source);
// Gives the target the source's bits and times once nothing more is made in it, and
// the source its own bits back.
void finishFolderPair(FolderPair& pair);

// Fills the target of an open pair from its source, the work shared between the
// run's threads, then finishes the pair.
void copyFolderSharingWork(FolderPair pair, CopySource source);

}  // namespace brindle::posix
