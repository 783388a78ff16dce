#pragma once

#include "BrindleCore/FileManager.h"

namespace brindle::desktop {

// One tray application per user session: an exclusive flock on a lock file, held
// until the process ends (the kernel drops it even after a crash). Not the run lock,
// which `brindle backup` takes too.
class SingleInstance {
public:
    // Tries the lock once and does not wait.
    explicit SingleInstance(const Path& lockFile);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process holds the lock.
    bool acquired() const { return fd_ >= 0; }

    // $XDG_RUNTIME_DIR/brindle/tray.lock when that folder is set and absolute, else
    // "tray.lock" beside the settings file.
    static Path defaultLockPath(FileManager& fileManager);

private:
    int fd_ = -1;
};

}  // namespace brindle::desktop
