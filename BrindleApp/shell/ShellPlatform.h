#pragma once

#include "BrindleApp/shell/BackgroundRunner.h"
#include "BrindleApp/shell/BackupPerformer.h"
#include "BrindleApp/shell/Clock.h"
#include "BrindleApp/shell/Desktop.h"
#include "BrindleApp/shell/EventLoop.h"
#include "BrindleApp/shell/LaunchAtLoginService.h"
#include "BrindleApp/shell/StatusItem.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/UserFolders.h"

namespace brindle::shell {

// Everything the shell needs from the system. Each service must outlive the
// AppDelegate; the event loop must also outlive any run still in progress, since a
// run's work posts its outcome to it.
struct ShellPlatform {
    // For the settings file and the check that the backup folder exists.
    FileManager& fileManager;
    EventLoop& eventLoop;
    Clock& clock;
    BackgroundRunner& backgroundRunner;
    StatusItem& statusItem;
    Desktop& desktop;
    LaunchAtLoginService& launchAtLogin;
    // One whole backup (lockedBackupPerformer in the program).
    BackupPerformer backupPerformer;
    // Where the settings, the locks and the backed-up folders are.
    UserFolders userFolders;
};

}  // namespace brindle::shell
