#pragma once

#include "BrindleCore/FileManager.h"

namespace brindle {

// An exclusive lock held by a backup run for its whole duration, shared by every
// Brindle process of the user (the tray app, a second copy of it, `brindle backup`
// from a timer). It lives outside the backup folder, where a cloud drive would sync
// it, and the kernel releases it when its process dies.
class RunLock {
public:
    // Waits until no other run holds the lock. Throws FileSystemError when the lock
    // file cannot be created or locked.
    explicit RunLock(const Path& lockFile);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // $XDG_RUNTIME_DIR/brindle/run.lock when that folder is set and absolute, else
    // "run.lock" beside the settings file.
    static Path defaultLockPath(FileManager& fileManager);

private:
    int fd_ = -1;
};

}  // namespace brindle
