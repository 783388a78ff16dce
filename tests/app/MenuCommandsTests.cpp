#include <gtest/gtest.h>

#include <cerrno>

#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using shell::LaunchAtLoginStatus;

TEST(OpenBackupFolder, OpensTheRootOnlyWhenItIsAnExistingFolder) {
    ShellHarness shell;
    const Path root = shell.folder.path() / "Backups";
    shell.writeSettings({root.string(), {}, 30});

    shell.delegate().openBackupFolder();
    EXPECT_TRUE(shell.fileBrowser.opened.empty());
    EXPECT_FALSE(shell.posix.examine(root).exists()) << "a missing root is not created";
    EXPECT_FALSE(shell.delegate().lastError().has_value());
    EXPECT_TRUE(shell.alerts.shown.empty());

    writeFile(root, "#!/bin/sh\necho launched\n");
    shell.delegate().openBackupFolder();
    EXPECT_TRUE(shell.fileBrowser.opened.empty()) << "a root naming a script is never handed to the desktop";

    shell.posix.removeItem(root);
    makeFolder(root);
    shell.delegate().openBackupFolder();
    EXPECT_EQ(shell.fileBrowser.opened, std::vector<Path> {root});
}

TEST(ChooseBackupFolder, OffersOneFolderStartingAtTheCurrentRoot) {
    ShellHarness shell;
    shell.writeSettings({"/srv/backups", {}, 30});
    shell.delegate().chooseBackupFolder();

    ASSERT_EQ(shell.chooser.shownWith.size(), 1u);
    const shell::FolderChooserOptions& options = shell.chooser.shownWith[0];
    EXPECT_EQ(options.title, "Choose Brindle Backup Folder");
    EXPECT_FALSE(options.canChooseFiles);
    EXPECT_TRUE(options.canChooseDirectories);
    EXPECT_TRUE(options.canCreateDirectories);
    EXPECT_FALSE(options.allowsMultipleSelection);
    EXPECT_EQ(options.directory, Path("/srv/backups"));
}

TEST(ChooseBackupFolder, CancellingChangesNothing) {
    ShellHarness shell;
    shell.writeSettings({"/srv/backups", {}, 30});
    const std::string fileBefore = readFile(shell.settingsFile());
    shell.delegate().chooseBackupFolder();

    EXPECT_EQ(shell.delegate().settingsStore().settings().destinationRootPath, "/srv/backups");
    EXPECT_EQ(readFile(shell.settingsFile()), fileBefore);
    EXPECT_EQ(shell.runner.waitingCount(), 0u);
    EXPECT_EQ(shell.statusItem.menusSet, 0);
}

TEST(ChooseBackupFolder, SavesTheChoiceAndBacksUpIntoIt) {
    ShellHarness shell;
    const Path chosen = shell.folder.path() / "elsewhere";
    shell.chooser.answer = chosen;
    shell.delegate().chooseBackupFolder();

    EXPECT_EQ(backupSettingsFromJson(readFile(shell.settingsFile())).destinationRootPath, chosen.string());
    ASSERT_EQ(shell.runner.waitingCount(), 1u);
    shell.finishRun();
    EXPECT_EQ(shell.engineCalls.at(0).destinationRootPath, chosen.string());
}

TEST(ChooseBackupFolder, AFailedSaveKeepsTheChoiceInMemoryAndStartsNoRun) {
    ShellHarness shell;
    shell.writeSettings({"/old/root", {}, 30});
    shell.delegate().runBackup();
    shell.finishRunAndWait();
    ASSERT_TRUE(shell.delegate().lastResult().has_value());

    shell.faults.failWhen("writeFileAtomically", "settings.json", ENOSPC);
    shell.chooser.answer = Path("/new/root");
    const int menusBefore = shell.statusItem.menusSet;
    shell.delegate().chooseBackupFolder();

    ASSERT_EQ(shell.alerts.shown.size(), 1u);
    EXPECT_EQ(shell.alerts.shown[0].messageText, "Brindle could not finish the backup.");
    ASSERT_TRUE(shell.delegate().lastError().has_value());
    EXPECT_EQ(shell.alerts.shown[0].informativeText, shell.delegate().lastError()->localizedDescription);
    EXPECT_NE(shell.delegate().lastError()->localizedDescription.find("settings.json"), std::string::npos);
    EXPECT_FALSE(shell.delegate().lastResult().has_value());
    EXPECT_EQ(shell.runner.waitingCount(), 0u);
    EXPECT_EQ(shell.statusItem.menusSet, menusBefore + 1);
    EXPECT_EQ(shell.statusItem.statusLine(), "Backup failed: " + shell.delegate().lastError()->localizedDescription);
    EXPECT_EQ(backupSettingsFromJson(readFile(shell.settingsFile())).destinationRootPath, "/old/root");

    shell.delegate().backUpNow();
    shell.finishRun();
    EXPECT_EQ(shell.engineCalls.back().destinationRootPath, "/new/root");
}

TEST(ChooseBackupFolder, DuringARunSavesButLeavesTheNewRootToTheNextTrigger) {
    ShellHarness shell;
    shell.writeSettings({"/old/root", {}, 30});
    shell.delegate().runBackup();
    shell.chooser.answer = Path("/new/root");
    shell.delegate().chooseBackupFolder();

    EXPECT_EQ(backupSettingsFromJson(readFile(shell.settingsFile())).destinationRootPath, "/new/root");
    EXPECT_EQ(shell.runner.waitingCount(), 1u);
    shell.finishRunAndWait();
    EXPECT_EQ(shell.engineCalls.back().destinationRootPath, "/old/root");

    shell.delegate().backUpNow();
    shell.finishRun();
    EXPECT_EQ(shell.engineCalls.back().destinationRootPath, "/new/root");
}

TEST(LaunchAtLogin, UnregistersWhenEnabledAndRegistersOtherwise) {
    for (const auto status : {LaunchAtLoginStatus::notRegistered, LaunchAtLoginStatus::enabled,
                              LaunchAtLoginStatus::requiresApproval, LaunchAtLoginStatus::notFound}) {
        ShellHarness shell;
        shell.launchAtLogin.current = status;
        shell.delegate().toggleLaunchAtLogin();

        const bool wasEnabled = status == LaunchAtLoginStatus::enabled;
        SCOPED_TRACE("status " + std::to_string(static_cast<int>(status)));
        EXPECT_EQ(shell.launchAtLogin.unregisterCalls, wasEnabled ? 1 : 0);
        EXPECT_EQ(shell.launchAtLogin.registerCalls, wasEnabled ? 0 : 1);
        EXPECT_EQ(shell.statusItem.item("Launch at Login").checked, !wasEnabled) << "rebuilt with the new status";
    }
}

TEST(LaunchAtLogin, AFailureIsAlertedAndRecordedWithoutLosingTheResult) {
    ShellHarness shell;
    shell.delegate().runBackup();
    shell.finishRunAndWait();
    shell.launchAtLogin.current = LaunchAtLoginStatus::enabled;
    shell.launchAtLogin.failure = "Operation not permitted";
    shell.delegate().toggleLaunchAtLogin();

    ASSERT_EQ(shell.alerts.shown.size(), 1u);
    EXPECT_EQ(shell.alerts.shown[0].messageText, "Brindle could not update Launch at Login.");
    EXPECT_EQ(shell.alerts.shown[0].informativeText, "Operation not permitted");
    EXPECT_EQ(shell.delegate().lastError()->localizedDescription, "Operation not permitted");
    EXPECT_TRUE(shell.delegate().lastResult().has_value());
    EXPECT_TRUE(shell.statusItem.item("Launch at Login").checked) << "the status as it still is";
}

}  // namespace
}  // namespace brindle::testing
