#include "BrindleCore/PerformBackup.h"

#include <stdexcept>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/BackupService.h"
#include "BrindleCore/FileSystemError.h"

namespace brindle {

FileLock holdRunLock(FileManager& fileManager, const Path& lockFile, std::chrono::milliseconds patience) {
    auto lock = FileLock::acquire(fileManager, lockFile, patience);
    if (!lock) {
        const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(patience).count();
        const std::string waited = minutes == 1  ? "a minute"
                                   : minutes > 1 ? std::to_string(minutes) + " minutes"
                                                 : std::to_string(patience.count()) + " ms";
        throw std::runtime_error("another backup is still running: its lock " + quotedPath(lockFile.string()) +
                                 " was still held after waiting " + waited + ".");
    }
    return std::move(*lock);
}

BackupResult performBackup(FileManager& fileManager, const BackupSettings& settings, const Path& homeDirectory,
                           const Path& lockFile, std::chrono::milliseconds patience) {
    const FileLock lock = holdRunLock(fileManager, lockFile, patience);
    BackupService service(fileManager);
    const auto items = DefaultBackupItems::items(homeDirectory);
    return service.run(settings, items, std::chrono::system_clock::now());
}

}  // namespace brindle
