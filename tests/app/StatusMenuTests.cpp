#include <gtest/gtest.h>

#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;
using shell::LaunchAtLoginStatus;

TEST(Menu, ListsTheCommandsWithTheirKeysUnderADisabledStatusLine) {
    ShellHarness shell;
    shell.delegate().rebuildMenu();
    const auto& items = shell.statusItem.menu->items;

    struct Expected {
        bool separator;
        std::string title;
        std::string key;
    };
    const std::vector<Expected> expected {
        {false, "Brindle is ready", ""}, {true, "", ""},
        {false, "Back Up Now", "b"},     {false, "Open Backup Folder", "o"},
        {false, "Choose Backup Folder...", ","}, {true, "", ""},
        {false, "Launch at Login", ""},  {false, "Check for Updates...", "u"},
        {true, "", ""},                  {false, "Quit Brindle", "q"},
    };
    ASSERT_EQ(items.size(), expected.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("position " + std::to_string(i + 1));
        EXPECT_EQ(items[i]->isSeparator, expected[i].separator);
        if (expected[i].separator) continue;
        EXPECT_EQ(items[i]->title, expected[i].title);
        EXPECT_EQ(items[i]->keyEquivalent, expected[i].key);
        EXPECT_EQ(items[i]->enabled, i != 0);
        EXPECT_EQ(static_cast<bool>(items[i]->action), i != 0);
    }
}

TEST(Menu, EachCommandItemCallsItsAction) {
    ShellHarness shell;
    makeFolder(shell.home() / "Brindle Backups");
    shell.delegate().rebuildMenu();

    shell.statusItem.choose("Back Up Now");
    EXPECT_EQ(shell.runner.waitingCount(), 1u);
    shell.statusItem.choose("Open Backup Folder");
    EXPECT_EQ(shell.fileBrowser.opened, std::vector<Path> {shell.home() / "Brindle Backups"});
    shell.statusItem.choose("Choose Backup Folder...");
    EXPECT_EQ(shell.chooser.shownWith.size(), 1u);
    shell.statusItem.choose("Launch at Login");
    EXPECT_EQ(shell.launchAtLogin.registerCalls, 1);
    shell.statusItem.choose("Check for Updates...");
    EXPECT_EQ(shell.updater.checks, 1);
    shell.statusItem.choose("Quit Brindle");
    EXPECT_EQ(shell.application.terminateCalls, 1);
}

TEST(Menu, ChecksLaunchAtLoginOnlyWhenEnabled) {
    for (const auto status : {LaunchAtLoginStatus::notRegistered, LaunchAtLoginStatus::enabled,
                              LaunchAtLoginStatus::requiresApproval, LaunchAtLoginStatus::notFound}) {
        ShellHarness shell;
        shell.launchAtLogin.current = status;
        shell.delegate().rebuildMenu();
        EXPECT_EQ(shell.statusItem.item("Launch at Login").checked, status == LaunchAtLoginStatus::enabled)
            << "status " << static_cast<int>(status);
        EXPECT_TRUE(shell.statusItem.item("Launch at Login").checkable) << "a switch, with or without its tick";
        EXPECT_FALSE(shell.statusItem.item("Back Up Now").checkable);
    }
}

TEST(Menu, OpeningRefreshesOnlyTheStatusLine) {
    ShellHarness shell;
    shell.delegate().runBackup();
    shell.finishRunAndWait();
    shell.launchAtLogin.current = LaunchAtLoginStatus::enabled;

    shell.clock.advance(5min);
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced 5 minutes ago");
    shell.clock.advance(2h);
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced 2 hours ago");
    EXPECT_FALSE(shell.statusItem.item("Launch at Login").checked) << "the check mark waits for a rebuild";
}

TEST(StatusLine, TheAgeIsJustNowForUnderAMinuteAndForTheFuture) {
    ShellHarness shell;
    const Timestamp now = shell.clock.wallNow();
    struct Case {
        Timestamp createdAt;
        std::string line;
    };
    const std::vector<Case> cases {
        {now - 59900ms, "Last synced just now"},
        {now - 60s, "Last synced 1 minute ago"},
        {now + 1h, "Last synced just now"},
        {now - 8 * 24h, "Last synced 1 week ago"},
    };
    for (const Case& c : cases) {
        shell.engine = [&](const BackupSettings&) { return shell.resultCreatedAt(c.createdAt); };
        shell.delegate().runBackup();
        shell.finishRunAndWait();
        shell.clock.setWallClock(now);
        EXPECT_EQ(shell.delegate().statusTitle(), c.line);
    }
}

TEST(StatusLine, ALoginItemFailureShowsOnlyWhileNoResultIsHeld) {
    ShellHarness shell;
    shell.launchAtLogin.failure = "The login item could not be registered.";
    shell.delegate().toggleLaunchAtLogin();
    EXPECT_EQ(shell.statusItem.statusLine(), "Backup failed: The login item could not be registered.");

    shell.delegate().runBackup();
    shell.finishRunAndWait();
    shell.delegate().toggleLaunchAtLogin();
    EXPECT_TRUE(shell.delegate().lastError().has_value());
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced just now");
}

}  // namespace
}  // namespace brindle::testing
