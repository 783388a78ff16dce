#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <cerrno>

#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using shell::Command;
using namespace std::chrono;

TEST(Menu, CommandsReachTheDesktopWhichIsHandedOnlyAnExistingBackupFolderAndOpeningRefreshesTheAge) {
    // The user's locale as ICU sees it; the menu is not translated yet.
    const icu::Locale saved = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);
    ShellHarness shell;
    const Path root = shell.folder / "Backups";
    shell.writeSettings({root.string(), {}, 1});  // below the schedule's five-minute floor
    shell.launchIdle();
    shell.advance(4min);
    EXPECT_EQ(shell.statusLine(), "Last synced 4 minutes ago") << "a firing before the floor, or a stale or German age";
    icu::Locale::setDefault(saved, status);
    // The root comes from a file the user may edit: a script there must not be opened.
    shell.choose(Command::openBackupFolder);
    writeFile(root, "#!/bin/sh\necho launched\n");
    shell.choose(Command::openBackupFolder);
    shell.posix.removeItem(root);
    makeFolder(root);
    for (const auto command : {Command::openBackupFolder, Command::checkForUpdates, Command::quit}) shell.choose(command);
    EXPECT_EQ(shell.desktopCalls, (std::vector<std::string> {"open " + root.string(), "check for updates", "terminate"}));
    EXPECT_TRUE(shell.alerts.empty());
}

TEST(ChooseBackupFolder, SavesAndRunsOrAlertsAndFiringsUnderItsPanelsWaitForTheCommand) {
    // The folder chosen (none: cancelled), whether saving it fails, how long each panel stays up, whether a run is
    // under way; then the root saved and that of the run waiting afterwards.
    using Case = std::tuple<std::optional<Path>, bool, std::chrono::minutes, bool, std::string, std::optional<std::string>>;
    const std::vector<Case> cases {
        {"/new/root", false, 0min, false, "/new/root", "/new/root"},
        {std::nullopt, false, 0min, false, "/old/root", std::nullopt},
        {"/new/root", true, 0min, false, "/old/root", std::nullopt},
        {"/new/root", false, 10min, false, "/new/root", "/new/root"},
        {std::nullopt, false, 10min, false, "/old/root", "/old/root"},
        // The choice stays in memory for the firing held back under the panels.
        {"/new/root", true, 10min, false, "/old/root", "/new/root"},
        // The run under way keeps the settings of its start; the chosen folder's run is dropped, not queued.
        {"/new/root", false, 0min, true, "/new/root", "/old/root"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases.data()));
        const auto& [chosen, saveFails, panelsUpFor, duringARun, saved, rootOfTheWaitingRun] = c;
        ShellHarness shell;
        shell.writeSettings({"/old/root", {}, 5});
        duringARun ? shell.launch() : shell.launchIdle();
        if (saveFails) shell.faults.failWhen("writeFileAtomically", "settings.json", ENOSPC);
        shell.chosenFolder = chosen;
        std::size_t runsUnderPanels = 0;
        shell.whileModal = [&] {
            shell.advance(panelsUpFor);
            runsUnderPanels += shell.waiting.size() - (duringARun ? 1 : 0);
        };
        shell.choose(Command::chooseBackupFolder);
        shell.runPendingJobs();

        EXPECT_EQ(shell.choosers, (ShellHarness::Alerts {{"Choose Brindle Backup Folder", "/old/root"}}));
        EXPECT_EQ(runsUnderPanels, 0u);
        EXPECT_EQ(backupSettingsFromJson(readFile(shell.settingsFile())).destinationRootPath, saved);
        EXPECT_EQ(shell.alerts.size(), saveFails ? 1u : 0u);
        if (saveFails && panelsUpFor == 0min) {
            EXPECT_EQ(shell.alerts.front().first, "Brindle could not finish the backup.");
            EXPECT_EQ(shell.statusLine(), "Backup failed: " + shell.alerts.front().second) << "the earlier result is cleared";
            EXPECT_NE(shell.statusLine().find("settings.json"), std::string::npos) << shell.statusLine();
        }
        ASSERT_EQ(shell.waiting.size(), rootOfTheWaitingRun ? 1u : 0u);
        if (!rootOfTheWaitingRun) continue;
        shell.finishRun();
        EXPECT_EQ(shell.rootsBackedUp.back(), rootOfTheWaitingRun);
    }
}

TEST(LaunchAtLogin, TheToggleSwitchesOrAlertsKeepingTheLastResult) {
    // Enabled before, why switching fails, and whether a backup result is held.
    const std::vector<std::tuple<bool, std::optional<std::string>, bool>> cases {
        {false, std::nullopt, true}, {true, std::nullopt, true}, {true, "Operation not permitted", true},
        {false, "Operation not permitted", false}};
    for (const auto& [enabled, failure, haveResult] : cases) {
        SCOPED_TRACE(::testing::Message() << enabled << " " << failure.value_or("") << " " << haveResult);
        ShellHarness shell;
        if (!haveResult) shell.engine = [](const BackupSettings&) -> BackupResult { throw std::runtime_error("offline"); };
        shell.launchAtLogin = enabled;
        shell.launchIdle();
        shell.alerts.clear();
        shell.launchAtLoginFailure = failure;
        shell.choose(Command::toggleLaunchAtLogin);

        // The menu reads the service again once the toggle is done.
        const auto toggle = std::ranges::find(shell.menu.items, Command::toggleLaunchAtLogin, &shell::MenuItem::command);
        EXPECT_EQ(toggle->checked, failure ? enabled : !enabled);
        EXPECT_EQ(shell.alerts, (failure ? ShellHarness::Alerts {{"Brindle could not update Launch at Login.", *failure}}
                                         : ShellHarness::Alerts {}));
        EXPECT_EQ(shell.statusLine(), haveResult ? "Last synced just now" : "Backup failed: " + failure.value_or(""));
    }
}

TEST(StatusLine, FollowsTheFirstRuleThatAppliesWithTheAgeInItsLargestUnit) {
    shell::RelativeDateFormatter formatter("en");
    // Mid-month, mid-day, away from daylight-saving changes in any zone.
    const Timestamp now = sys_days(year(2025) / 6 / 15) + 12h;
    // Backing up, the last backup's date, the last error, and the line.
    const std::vector<std::tuple<bool, std::optional<Timestamp>, std::optional<std::string>, std::string>> cases {
        {true, now - 1h, "disk full", "Backing up Codex files..."},
        {false, now - 5min - 59s, "login item failed", "Last synced 5 minutes ago"},
        {false, std::nullopt, "disk full", "Backup failed: disk full"},
        {false, std::nullopt, std::nullopt, "Brindle is ready"},
        {false, now - 59900ms, std::nullopt, "Last synced just now"},
        {false, now + 1h, std::nullopt, "Last synced just now"},
        {false, now - 60s, std::nullopt, "Last synced 1 minute ago"},
        {false, now - 23h, std::nullopt, "Last synced 23 hours ago"},
        {false, now - 29h, std::nullopt, "Last synced 1 day ago"},
        {false, now - 13 * 24h, std::nullopt, "Last synced 1 week ago"},
        {false, sys_days(year(2025) / 4 / 14) + 12h, std::nullopt, "Last synced 2 months ago"},
        {false, sys_days(year(2023) / 1 / 15) + 12h, std::nullopt, "Last synced 2 years ago"},
    };
    for (const auto& [backingUp, createdAt, error, line] : cases)
        EXPECT_EQ(shell::statusTitle(backingUp, createdAt, error, now, formatter), line);
}

}  // namespace
}  // namespace brindle::testing
