#pragma once

#include <chrono>

#include "BrindleCore/BackupResult.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileLock.h"
#include "BrindleCore/FileManager.h"

namespace brindle {

// How long a run waits for another run (or a restore) of the user to finish. A run
// that hangs must not stop every later one for good.
inline constexpr std::chrono::minutes kRunLockPatience{30};

// Holds the run lock, waiting up to `patience` for it; throws, with a message that
// says another backup is still running, when it is still held then.
FileLock holdRunLock(FileManager& fileManager, const Path& lockFile,
                     std::chrono::milliseconds patience = kRunLockPatience);

// One run exactly as the application and `brindle backup` make it: under the run
// lock, with a fresh engine, the whole catalog from the home folder and the time at
// which the lock was won. Throws as BackupService::run.
BackupResult performBackup(FileManager& fileManager, const BackupSettings& settings, const Path& homeDirectory,
                           const Path& lockFile, std::chrono::milliseconds patience = kRunLockPatience);

}  // namespace brindle
