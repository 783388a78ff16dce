#include "BrindleCore/PageCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <exception>

#include "BrindleCore/PosixFolder.h"

namespace brindle {

namespace {

// Below this a file's few cached pages are not worth the calls it takes to drop them.
constexpr off_t kWorthDropping = 256 * 1024;

void dropFile(int parentFd, const char* name) {
    struct stat status {};
    if (fstatat(parentFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISREG(status.st_mode) || status.st_size < kWorthDropping) return;
    const posix::FileDescriptor fd(openat(parentFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.isOpen()) (void)posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
}

}  // namespace

void dropCachedPages(const Path& path) noexcept {
    try {
        const posix::FileDescriptor fd(open(posix::systemPath(path), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct statfs fileSystem {};
        struct stat status {};
        // In a memory file system the cache is the only copy, and the hint does nothing.
        if (!fd.isOpen() || fstatfs(fd.get(), &fileSystem) != 0 || fileSystem.f_type == TMPFS_MAGIC ||
            fileSystem.f_type == RAMFS_MAGIC || fstat(fd.get(), &status) != 0)
            return;
        if (S_ISREG(status.st_mode)) {
            (void)posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
            return;
        }
        if (!S_ISDIR(status.st_mode)) return;
        posix::TreeVisitor visitor;
        visitor.entry = [](const posix::Visit& visit) {
            if (visit.type == DT_REG || visit.type == DT_UNKNOWN) dropFile(visit.parentFd, visit.name);
        };
        visitor.leave = [](const posix::Visit&, int) {};
        posix::visitTree(AT_FDCWD, path.c_str(), path, visitor);
    } catch (const std::exception&) {
        // Only a hint: a folder that cannot be read keeps its pages.
    }
}

}  // namespace brindle
