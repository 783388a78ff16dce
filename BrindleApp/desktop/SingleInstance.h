#pragma once

#include <optional>

#include "BrindleCore/FileLock.h"
#include "BrindleCore/FileManager.h"

namespace brindle::desktop {

// One tray application per user: the tray lock, held until the process ends. Not the
// run lock, which `brindle backup` takes too.
class SingleInstance {
public:
    // Tries the lock once and does not wait.
    explicit SingleInstance(const Path& lockFile);

    // False when another process holds the lock.
    bool acquired() const { return lock_.has_value(); }

    // "tray.lock" beside the settings file.
    static Path defaultLockPath(FileManager& fileManager);

private:
    std::optional<FileLock> lock_;
};

}  // namespace brindle::desktop
