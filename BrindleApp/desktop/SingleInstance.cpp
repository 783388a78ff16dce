#include "BrindleApp/desktop/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/SettingsStore.h"

namespace brindle::desktop {

SingleInstance::SingleInstance(const Path& lockFile) {
    PosixFileManager().createDirectory(lockFile.parent_path(), 0700);
    // Close-on-exec, so that a file manager or dialog started from the tray does not
    // inherit the lock and keep it after Brindle has quit.
    const int fd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throw FileSystemError::fromErrno("open the lock file", lockFile.string(), errno);
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        fd_ = fd;
        return;
    }
    const int code = errno;
    close(fd);
    if (code != EWOULDBLOCK) throw FileSystemError::fromErrno("lock", lockFile.string(), code);
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) close(fd_);
}

Path SingleInstance::defaultLockPath(FileManager& fileManager) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') return standardized(Path(runtime)) / "brindle" / "tray.lock";
    return SettingsStore::defaultSettingsURL(fileManager).parent_path() / "tray.lock";
}

}  // namespace brindle::desktop
