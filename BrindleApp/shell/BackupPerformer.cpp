#include "BrindleApp/shell/BackupPerformer.h"

#include "BrindleCore/PerformBackup.h"

namespace brindle::shell {

BackupPerformer lockedBackupPerformer(FileManager& fileManager) {
    return [&fileManager](const BackupSettings& settings) { return performBackup(fileManager, settings); };
}

}  // namespace brindle::shell
