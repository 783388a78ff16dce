#include "BrindleApp/shell/Menu.h"

namespace brindle::shell {

std::vector<MenuItem> statusMenuItems(const std::string& statusLine, bool launchAtLogin) {
    auto item = [](std::string title, std::string key, std::optional<Command> command) {
        return MenuItem {false, std::move(title), std::move(key), command, std::nullopt};
    };
    const MenuItem separator {true, "", "", std::nullopt, std::nullopt};
    MenuItem launchAtLoginItem = item("Launch at Login", "", Command::toggleLaunchAtLogin);
    launchAtLoginItem.checked = launchAtLogin;
    return {
        item(statusLine, "", std::nullopt),
        separator,
        item("Back Up Now", "b", Command::backUpNow),
        item("Open Backup Folder", "o", Command::openBackupFolder),
        item("Choose Backup Folder...", ",", Command::chooseBackupFolder),
        separator,
        launchAtLoginItem,
        item("Check for Updates...", "u", Command::checkForUpdates),
        separator,
        item("Quit Brindle", "q", Command::quit),
    };
}

std::string statusTitle(bool isBackingUp, const std::optional<Timestamp>& lastBackupCreatedAt,
                        const std::optional<std::string>& lastError, Timestamp now,
                        RelativeDateFormatter& formatter) {
    if (isBackingUp) return "Backing up Codex files...";
    if (lastBackupCreatedAt) {
        // Also covers a backup dated in the future, by another machine's clock or a
        // clock set back since.
        if (now - *lastBackupCreatedAt < std::chrono::seconds(60)) return "Last synced just now";
        return "Last synced " + formatter.localizedString(*lastBackupCreatedAt, now);
    }
    if (lastError) return "Backup failed: " + *lastError;
    return "Brindle is ready";
}

}  // namespace brindle::shell
