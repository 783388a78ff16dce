#include "BrindleApp/shell/AppDelegate.h"

namespace brindle::shell {

void AppDelegate::rebuildMenu() {
    auto menu = std::make_shared<Menu>();
    menu->willOpen = action(&AppDelegate::menuWillOpen);

    auto status = menu->addItem(statusTitle(), "", {});
    status->enabled = false;
    statusMenuItem_ = status;
    menu->addSeparator();
    menu->addItem("Back Up Now", "b", action(&AppDelegate::backUpNow));
    menu->addItem("Open Backup Folder", "o", action(&AppDelegate::openBackupFolder));
    menu->addItem("Choose Backup Folder...", ",", action(&AppDelegate::chooseBackupFolder));
    menu->addSeparator();
    auto launchAtLogin = menu->addItem("Launch at Login", "", action(&AppDelegate::toggleLaunchAtLogin));
    launchAtLogin->checkable = true;
    launchAtLogin->checked = platform_.launchAtLogin.status() == LaunchAtLoginStatus::enabled;
    menu->addItem("Check for Updates...", "u", action(&AppDelegate::checkForUpdates));
    menu->addSeparator();
    menu->addItem("Quit Brindle", "q", action(&AppDelegate::quit));

    platform_.statusItem.setMenu(std::move(menu));
}

std::string AppDelegate::statusTitle() {
    if (isBackingUp_) return "Backing up Codex files...";
    if (lastResult_) {
        const Timestamp createdAt = lastResult_->manifest.createdAt;
        const Timestamp now = platform_.clock.wallNow();
        // Also covers a backup dated in the future, by another machine's clock or
        // a clock set back since.
        if (now - createdAt < std::chrono::seconds(60)) return "Last synced just now";
        return "Last synced " + platform_.relativeDateFormatter.localizedString(createdAt, now);
    }
    if (lastError_) return "Backup failed: " + lastError_->localizedDescription;
    return "Brindle is ready";
}

void AppDelegate::menuWillOpen() {
    // Only the status line is refreshed; the check mark keeps the last rebuild's reading.
    if (auto item = statusMenuItem_.lock()) item->title = statusTitle();
}

}  // namespace brindle::shell
