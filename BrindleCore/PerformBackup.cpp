#include "BrindleCore/PerformBackup.h"

#include <chrono>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/BackupService.h"
#include "BrindleCore/RunLock.h"

namespace brindle {

BackupResult performBackup(FileManager& fileManager, const BackupSettings& settings) {
    RunLock lock(RunLock::defaultLockPath(fileManager));
    BackupService service(fileManager);
    const auto items = DefaultBackupItems::items(fileManager.homeDirectory());
    return service.run(settings, items, std::chrono::system_clock::now());
}

}  // namespace brindle
