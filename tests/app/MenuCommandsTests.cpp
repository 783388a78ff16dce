#include <gtest/gtest.h>

#include <cerrno>

#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using shell::Command;
using shell::LaunchAtLoginStatus;
using Shown = std::vector<std::pair<std::string, std::string>>;

TEST(OpenBackupFolder, OpensTheRootOnlyWhenItIsAnExistingFolder) {
    ShellHarness shell;
    const Path root = shell.folder.path() / "Backups";
    shell.writeSettings({root.string(), {}, 30});
    shell.launchIdle();

    shell.choose(Command::openBackupFolder);
    EXPECT_FALSE(shell.posix.examine(root).exists()) << "a missing root was created";
    writeFile(root, "#!/bin/sh\necho launched\n");
    shell.choose(Command::openBackupFolder);
    EXPECT_TRUE(shell.desktop.opened.empty()) << "a root naming a missing folder or a script reached the desktop";
    EXPECT_TRUE(shell.desktop.alerts.empty());

    shell.posix.removeItem(root);
    makeFolder(root);
    shell.choose(Command::openBackupFolder);
    EXPECT_EQ(shell.desktop.opened, std::vector<Path> {root});
}

TEST(ChooseBackupFolder, StartsAtTheRootAndACancelChangesNothing) {
    ShellHarness shell;
    shell.writeSettings({"/srv/backups", {}, 30});
    shell.launchIdle();
    const std::string fileBefore = readFile(shell.settingsFile());
    const int menus = shell.statusItem.menusSet;
    shell.choose(Command::chooseBackupFolder);

    EXPECT_EQ(shell.desktop.choosers,
              (std::vector<std::pair<std::string, Path>> {{"Choose Brindle Backup Folder", "/srv/backups"}}));
    EXPECT_EQ(readFile(shell.settingsFile()), fileBefore);
    EXPECT_TRUE(shell.runner.waiting.empty());
    EXPECT_EQ(shell.statusItem.menusSet, menus);
}

TEST(ChooseBackupFolder, AFailedSaveIsAlertedAndKeepsTheChoiceInMemoryOnly) {
    ShellHarness shell;
    shell.writeSettings({"/old/root", {}, 30});
    shell.launchIdle();
    shell.faults.failWhen("writeFileAtomically", "settings.json", ENOSPC);
    shell.desktop.chosenFolder = Path("/new/root");
    shell.choose(Command::chooseBackupFolder);

    ASSERT_EQ(shell.desktop.alerts.size(), 1u);
    const auto& [headline, description] = shell.desktop.alerts.front();
    EXPECT_EQ(headline, "Brindle could not finish the backup.");
    EXPECT_NE(description.find("settings.json"), std::string::npos) << description;
    EXPECT_TRUE(shell.runner.waiting.empty());
    EXPECT_EQ(shell.statusItem.statusLine(), "Backup failed: " + description) << "the earlier result is cleared";
    EXPECT_EQ(backupSettingsFromJson(readFile(shell.settingsFile())).destinationRootPath, "/old/root");

    shell.choose(Command::backUpNow);
    shell.finishRun();
    EXPECT_EQ(shell.engineCalls.back().destinationRootPath, "/new/root");
}

TEST(ChooseBackupFolder, DuringARunSavesButLeavesTheNewRootToTheNextTrigger) {
    ShellHarness shell;
    shell.writeSettings({"/old/root", {}, 30});
    shell.launch();
    shell.desktop.chosenFolder = Path("/new/root");
    shell.choose(Command::chooseBackupFolder);

    EXPECT_EQ(backupSettingsFromJson(readFile(shell.settingsFile())).destinationRootPath, "/new/root");
    EXPECT_EQ(shell.runner.waiting.size(), 1u);
    shell.finishRunAndWait();
    EXPECT_EQ(shell.engineCalls.back().destinationRootPath, "/old/root") << "a run uses the settings of its start";

    shell.choose(Command::backUpNow);
    shell.finishRun();
    EXPECT_EQ(shell.engineCalls.back().destinationRootPath, "/new/root");
}

TEST(LaunchAtLogin, ToggleSwitchesTheStatusAndTheRebuiltMenuShowsIt) {
    for (const auto before : {LaunchAtLoginStatus::notRegistered, LaunchAtLoginStatus::enabled}) {
        ShellHarness shell;
        shell.launchAtLogin.current = before;
        shell.launchIdle();
        EXPECT_EQ(shell.statusItem.item("Launch at Login").checked, before == LaunchAtLoginStatus::enabled);
        shell.choose(Command::toggleLaunchAtLogin);
        EXPECT_NE(shell.launchAtLogin.current, before);
        EXPECT_EQ(shell.statusItem.item("Launch at Login").checked, before != LaunchAtLoginStatus::enabled);
    }
}

TEST(LaunchAtLogin, AFailureIsAlertedAndShowsInTheStatusLineOnlyWithoutAResult) {
    for (const bool haveResult : {true, false}) {
        ShellHarness shell;
        if (!haveResult) shell.engine = [](const BackupSettings&) -> BackupResult { throw std::runtime_error("offline"); };
        shell.launchIdle();
        shell.desktop.alerts.clear();
        shell.launchAtLogin.current = LaunchAtLoginStatus::enabled;
        shell.launchAtLogin.failure = "Operation not permitted";
        shell.choose(Command::toggleLaunchAtLogin);

        EXPECT_EQ(shell.desktop.alerts, (Shown {{"Brindle could not update Launch at Login.", "Operation not permitted"}}));
        EXPECT_EQ(shell.statusItem.statusLine(),
                  haveResult ? "Last synced just now" : "Backup failed: Operation not permitted");
        EXPECT_EQ(shell.statusItem.item("Launch at Login").checked, true) << "the status as it still is";
    }
}

TEST(Menu, UpdatesAndQuitGoToTheDesktop) {
    ShellHarness shell;
    shell.launchIdle();
    shell.choose(Command::checkForUpdates);
    EXPECT_EQ(shell.desktop.updateChecks, 1);
    shell.choose(Command::quit);
    EXPECT_EQ(shell.desktop.terminations, 1);
}

}  // namespace
}  // namespace brindle::testing
