#pragma once

#include "BrindleApp/shell/Alerts.h"
#include "BrindleApp/shell/Application.h"
#include "BrindleApp/shell/BackgroundRunner.h"
#include "BrindleApp/shell/BackupPerformer.h"
#include "BrindleApp/shell/Clock.h"
#include "BrindleApp/shell/EventLoop.h"
#include "BrindleApp/shell/FileBrowser.h"
#include "BrindleApp/shell/FolderChooser.h"
#include "BrindleApp/shell/LaunchAtLoginService.h"
#include "BrindleApp/shell/RelativeDateFormatter.h"
#include "BrindleApp/shell/StatusItem.h"
#include "BrindleApp/shell/Updater.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/UserFolders.h"

namespace brindle::shell {

// Everything the shell needs from the desktop. Each service must outlive the
// AppDelegate; the event loop must also outlive any run still in progress, since a
// run's work posts its outcome to it.
struct ShellPlatform {
    FileManager& fileManager;
    Application& application;
    EventLoop& eventLoop;
    Clock& clock;
    BackgroundRunner& backgroundRunner;
    StatusItem& statusItem;
    RelativeDateFormatter& relativeDateFormatter;
    Updater& updaterController;
    LaunchAtLoginService& launchAtLogin;
    Alerts& alerts;
    FolderChooser& folderChooser;
    FileBrowser& fileBrowser;
    // Left empty, every run is lockedBackupPerformer(fileManager, userFolders).
    BackupPerformer backupPerformer = {};
    // Where the settings, the locks and the backed-up folders are.
    UserFolders userFolders = UserFolders::current();
};

}  // namespace brindle::shell
