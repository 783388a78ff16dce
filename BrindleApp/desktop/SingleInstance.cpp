#include "BrindleApp/desktop/SingleInstance.h"

#include "BrindleCore/SettingsStore.h"

namespace brindle::desktop {

SingleInstance::SingleInstance(const Path& lockFile)
    : lock_(FileLock::acquire(sharedFileManager(), lockFile, std::chrono::milliseconds::zero())) {}

Path SingleInstance::defaultLockPath(FileManager&) {
    return lockPathBeside(SettingsStore::defaultSettingsURL(UserFolders::current()), kTrayLockName);
}

}  // namespace brindle::desktop
