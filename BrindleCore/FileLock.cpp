#include "BrindleCore/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PosixFolder.h"

namespace brindle {

std::optional<FileLock> FileLock::acquire(FileManager& fileManager, const Path& file,
                                          std::chrono::milliseconds patience) {
    fileManager.createDirectory(file.parent_path(), 0700);
    // Close-on-exec, so that a program started from the tray (a file manager, a
    // dialog) does not inherit the lock and keep it after Brindle has quit.
    posix::FileDescriptor fd(open(posix::systemPath(file), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.isOpen()) posix::fail("open the lock file", file, errno);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(20);
    for (;;) {
        if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            const int held = fd.get();
            (void)fd.release();
            return FileLock(held);
        }
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) posix::fail("lock", file, errno);
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(500));
    }
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileLock::~FileLock() {
    if (fd_ >= 0) close(fd_);
}

Path lockPathBeside(const Path& settingsFile, std::string_view name) { return settingsFile.parent_path() / name; }

}  // namespace brindle
