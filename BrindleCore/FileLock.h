#pragma once

#include <chrono>
#include <optional>
#include <string_view>

#include "BrindleCore/FileManager.h"

namespace brindle {

// An exclusive lock on a file, shared by every Brindle process of the user and held
// until the object goes (the kernel drops it when its process dies, even in a crash).
class FileLock {
public:
    // Tries for up to `patience` (zero: once, without waiting). Nothing when another
    // process still holds the lock then. Throws FileSystemError when the lock file
    // cannot be made or locked at all.
    static std::optional<FileLock> acquire(FileManager& fileManager, const Path& file,
                                           std::chrono::milliseconds patience);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_;
};

// The names of Brindle's locks: "run.lock", held by every backup and restore, and
// "tray.lock", held by the one tray application of the user.
inline constexpr std::string_view kRunLockName = "run.lock";
inline constexpr std::string_view kTrayLockName = "tray.lock";

// Locks live beside the settings file, so that every process reading the same
// settings takes the same lock whatever its environment (a desktop session, cron,
// ssh), and never in the backup folder, where a cloud drive would sync them.
Path lockPathBeside(const Path& settingsFile, std::string_view name);

}  // namespace brindle
