#include "BrindleApp/shell/BackupPerformer.h"

#include "BrindleCore/PerformBackup.h"
#include "BrindleCore/SettingsStore.h"

namespace brindle::shell {

BackupPerformer lockedBackupPerformer(FileManager& fileManager, const UserFolders& folders) {
    const Path lockFile = lockPathBeside(SettingsStore::defaultSettingsURL(folders), kRunLockName);
    return [&fileManager, home = folders.home, lockFile](const BackupSettings& settings) {
        return performBackup(fileManager, settings, home, lockFile);
    };
}

}  // namespace brindle::shell
