#include "BrindleCore/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/SettingsStore.h"

namespace brindle {

RunLock::RunLock(const Path& lockFile) {
    PosixFileManager().createDirectory(lockFile.parent_path(), 0700);
    fd_ = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) throw FileSystemError::fromErrno("open the lock file", lockFile.string(), errno);
    while (flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        int code = errno;
        close(fd_);
        throw FileSystemError::fromErrno("lock", lockFile.string(), code);
    }
}

RunLock::~RunLock() {
    if (fd_ >= 0) close(fd_);
}

Path RunLock::defaultLockPath(FileManager& fileManager) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') return standardized(Path(runtime)) / "brindle" / "run.lock";
    return SettingsStore::defaultSettingsURL(fileManager).parent_path() / "run.lock";
}

}  // namespace brindle
