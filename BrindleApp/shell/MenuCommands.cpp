#include "BrindleApp/shell/AppDelegate.h"

namespace brindle::shell {

void AppDelegate::backUpNow() {
    runBackup();
}

void AppDelegate::openBackupFolder() {
    const Path root = settingsStore_.settings().destinationRootPath;
    // The root comes from a file the user may edit by hand. Handing the desktop
    // anything but an existing folder could launch a program or open a document, so
    // a missing root and anything that is not a folder do nothing, unreported.
    try {
        if (!root.is_absolute() || !platform_.fileManager.examine(root).isDirectory()) return;
    } catch (const std::exception&) {
        return;
    }
    platform_.fileBrowser.openFolder(root);
}

void AppDelegate::chooseBackupFolder() {
    FolderChooserOptions options;
    options.title = "Choose Brindle Backup Folder";
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.canCreateDirectories = true;
    options.allowsMultipleSelection = false;
    options.directory = settingsStore_.settings().destinationRootPath;
    const std::optional<Path> chosen = runFolderChooser(options);
    if (!chosen) return;

    settingsStore_.settings().destinationRootPath = chosen->string();
    std::exception_ptr failure;
    try {
        settingsStore_.save();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // The new root stays in memory, so later runs of this process use it.
        lastError_ = ShellError::from(failure);
        lastResult_.reset();
        showError("Brindle could not finish the backup.", *lastError_);
    } else {
        runBackup();
    }
    rebuildMenu();
}

void AppDelegate::checkForUpdates() {
    platform_.updaterController.checkForUpdates();
}

void AppDelegate::toggleLaunchAtLogin() {
    LaunchAtLoginService& service = platform_.launchAtLogin;
    std::exception_ptr failure;
    try {
        if (service.status() == LaunchAtLoginStatus::enabled) {
            service.unregisterApplication();
        } else {
            service.registerApplication();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // lastResult is kept, so a held result still wins in the status line.
        lastError_ = ShellError::from(failure);
        showError("Brindle could not update Launch at Login.", *lastError_);
    }
    rebuildMenu();
}

void AppDelegate::quit() {
    platform_.application.terminate();
}

}  // namespace brindle::shell
