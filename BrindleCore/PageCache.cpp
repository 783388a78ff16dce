#include "BrindleCore/PageCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstring>

namespace brindle {

namespace {

// Below this a file's few cached pages are not worth the calls it takes to drop them.
constexpr off_t kWorthDropping = 256 * 1024;

void dropFile(int parentFd, const char* name) {
    struct stat status {};
    if (fstatat(parentFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISREG(status.st_mode) || status.st_size < kWorthDropping) return;
    int fd = openat(parentFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    (void)posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

void dropTree(int fd) {
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return;
    }
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN) {
            int child = openat(dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                dropTree(child);
                continue;
            }
        }
        if (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) dropFile(dirfd(dir), entry->d_name);
    }
    closedir(dir);
}

}  // namespace

void dropCachedPages(const Path& path) noexcept {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct statfs fileSystem {};
    struct stat status {};
    // In a memory file system the cache is the only copy, and the hint does nothing.
    if (fstatfs(fd, &fileSystem) != 0 || fileSystem.f_type == TMPFS_MAGIC || fileSystem.f_type == RAMFS_MAGIC ||
        fstat(fd, &status) != 0) {
        close(fd);
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        dropTree(fd);
        return;
    }
    if (S_ISREG(status.st_mode)) (void)posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

}  // namespace brindle
