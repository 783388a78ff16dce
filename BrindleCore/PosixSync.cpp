#include "BrindleCore/PosixSync.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "BrindleCore/PosixFolder.h"

namespace brindle::posix {

namespace {

const char* const kAction = "finish writing";

SyncMethod syncMethodOf(int fd, const Path& path) {
    struct statfs fileSystem {};
    if (fstatfs(fd, &fileSystem) != 0) fail(kAction, path, errno);
    return syncMethodFor(static_cast<long>(fileSystem.f_type));
}

// fsync of one file; one of Brindle's own that its bits make unreadable is opened
// after giving its owner read access, taken back at once.
void syncFile(const Visit& visit) {
    if (visit.type != DT_REG && visit.type != DT_UNKNOWN) return;  // links and specials live in their folder
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    FileDescriptor fd(openat(visit.parentFd, visit.name, flags));
    struct stat status {};
    if (!fd.isOpen() && errno == EACCES && fstatat(visit.parentFd, visit.name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        canGrantAccess(status) && changeMode(visit.parentFd, visit.name, (status.st_mode & 07777) | 0400) == 0) {
        fd = FileDescriptor(openat(visit.parentFd, visit.name, flags));
        (void)changeMode(visit.parentFd, visit.name, status.st_mode & 07777);
    }
    if (!fd.isOpen()) {
        if (errno == ELOOP) return;  // a link listed without its type
        fail(kAction, visit.path, errno);
    }
    if (fstat(fd.get(), &status) != 0) fail(kAction, visit.path, errno);
    if (S_ISREG(status.st_mode) && fsync(fd.get()) != 0) fail(kAction, visit.path, errno);
}

// Some file systems cannot sync a folder, and say so; their entries are as safe as
// they can make them.
void syncOpenFolder(int fd, const Path& path) {
    if (fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EOPNOTSUPP) fail(kAction, path, errno);
}

}  // namespace

SyncMethod syncMethodFor(long fileSystemType) {
    switch (static_cast<unsigned long>(fileSystemType) & 0xFFFFFFFFul) {
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
        return SyncMethod::none;
    case EXT4_SUPER_MAGIC:  // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case NILFS_SUPER_MAGIC:
    case REISERFS_SUPER_MAGIC:
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
        return SyncMethod::wholeFileSystem;
    default:
        return SyncMethod::eachEntry;
    }
}

void syncTree(const Path& path) {
    const FileDescriptor fd(open(systemPath(path), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isOpen()) fail(kAction, path, errno);
    switch (syncMethodOf(fd.get(), path)) {
    case SyncMethod::none: return;
    case SyncMethod::wholeFileSystem:
        // Since Linux 5.8 syncfs also reports a write that failed since the copy.
        if (syncfs(fd.get()) != 0) fail(kAction, path, errno);
        return;
    case SyncMethod::eachEntry: {
        struct stat status {};
        if (fstat(fd.get(), &status) != 0) fail(kAction, path, errno);
        if (!S_ISDIR(status.st_mode)) {
            if (fsync(fd.get()) != 0) fail(kAction, path, errno);
            return;
        }
        TreeVisitor visitor;
        visitor.grantAccess = true;
        visitor.entry = syncFile;
        visitor.leave = [](const Visit& visit, int folderFd) { syncOpenFolder(folderFd, visit.path); };
        visitTree(AT_FDCWD, path.c_str(), path, visitor);
        return;
    }
    }
}

void syncFolder(const Path& path) {
    const FileDescriptor fd(open(systemPath(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isOpen()) fail(kAction, path, errno);
    if (syncMethodOf(fd.get(), path) == SyncMethod::none) return;
    syncOpenFolder(fd.get(), path);
}

}  // namespace brindle::posix
