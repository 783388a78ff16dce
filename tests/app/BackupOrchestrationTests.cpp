#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

#include "BrindleCore/BackupServiceError.h"
#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;
using shell::Command;

BackupResult failingEngine(const BackupSettings&) {
    throw BackupServiceError::unableToPublishBackup("the disk is full");
}

TEST(Schedule, TheIntervalIsTheStoredMinutesWithinItsBounds) {
    // Qt's timers hold up to 2^31 - 1 ms, which is 35,791 whole minutes.
    const std::chrono::milliseconds qtLimit {2'147'483'647};
    const std::vector<std::pair<std::int64_t, std::chrono::minutes>> cases {
        {0, 5min}, {-10, 5min}, {1, 5min}, {5, 5min}, {6, 6min}, {60, 60min}, {35'791, 35'791min}, {35'792, 35'791min},
        {std::numeric_limits<std::int64_t>::max(), 35'791min}, {std::numeric_limits<std::int64_t>::min(), 5min}};
    for (const auto& [stored, interval] : cases) EXPECT_EQ(shell::scheduleInterval(stored, qtLimit), interval) << stored;
}

TEST(Schedule, OneRunAtLaunchThenOneEveryIntervalCountedFromTheLaunch) {
    ShellHarness shell;
    shell.writeSettings({"/nowhere", {}, 10});
    shell.launch();
    EXPECT_EQ(shell.runner.waiting.size(), 1u);
    shell.finishRunAndWait();

    shell.clock.advance(10min - shell.clock.elapsed() - 1ms);
    EXPECT_FALSE(shell.isBackingUp());
    shell.clock.advance(1ms);
    EXPECT_EQ(shell.runner.waiting.size(), 1u);
    shell.finishRunAndWait();
    shell.clock.advance(20min - shell.clock.elapsed());
    EXPECT_EQ(shell.runner.waiting.size(), 1u);
}

TEST(Run, SpinsThroughTheFramesEveryFifthOfASecondThenReturnsToIdle) {
    ShellHarness shell;
    shell.launch();
    std::vector<std::string> titles {shell.statusItem.looks.back().title()};
    for (int tick = 0; tick < 5; ++tick) {
        shell.clock.advance(200ms);
        titles.push_back(shell.statusItem.looks.back().title());
    }
    EXPECT_EQ(titles, (std::vector<std::string> {"Saving |", "Saving /", "Saving -", "Saving \\", "Saving |", "Saving /"}));
    EXPECT_EQ(shell.statusItem.looks.back().accessibilityDescription(), "Backing up");

    shell.finishRunAndWait();
    EXPECT_EQ(shell.statusItem.looks.back().title(), "Brindle");
    EXPECT_EQ(shell.statusItem.looks.back().accessibilityDescription(), "Brindle");
    const std::size_t drawn = shell.statusItem.looks.size();
    shell.clock.advance(1s);
    EXPECT_EQ(shell.statusItem.looks.size(), drawn) << "the spinner kept turning";
    shell.choose(Command::backUpNow);
    EXPECT_EQ(shell.statusItem.looks.back().title(), "Saving |") << "every run starts with the first frame";
}

TEST(Run, TheIndicatorStaysUpForTheMinimumOnTheMonotonicClock) {
    for (const auto wallClockJump : {0h, -1h, 1h}) {
        ShellHarness shell;
        shell.launch();
        shell.clock.advance(300ms);
        shell.clock.moveWallClock(wallClockJump);
        shell.finishRun();
        shell.clock.advance(949ms);
        EXPECT_TRUE(shell.isBackingUp()) << "wall clock moved by " << wallClockJump.count() << " h";
        EXPECT_EQ(shell.statusItem.statusLine(), "Backing up Codex files...");
        shell.clock.advance(1ms);
        EXPECT_FALSE(shell.isBackingUp()) << "wall clock moved by " << wallClockJump.count() << " h";
    }
    // A run that took longer completes as soon as its outcome arrives.
    ShellHarness shell;
    shell.launch();
    shell.clock.advance(3s);
    shell.finishRun();
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced just now");
}

TEST(Run, TriggersDuringARunAreDroppedWithoutAnyChange) {
    ShellHarness shell;
    shell.writeSettings({"/nowhere", {}, 5});
    shell.launch();
    shell.clock.advance(200ms);
    const std::size_t looks = shell.statusItem.looks.size();
    const int menus = shell.statusItem.menusSet;
    shell.choose(Command::backUpNow);
    EXPECT_EQ(shell.statusItem.looks.size(), looks) << "a dropped trigger restarted the spinner";
    EXPECT_EQ(shell.statusItem.menusSet, menus) << "a dropped trigger rebuilt the menu";

    shell.clock.advance(5min);  // a scheduled firing during the run
    EXPECT_EQ(shell.runner.waiting.size(), 1u);
    shell.finishRun();
    EXPECT_EQ(shell.engineCalls.size(), 1u);
    shell.choose(Command::backUpNow);
    EXPECT_EQ(shell.runner.waiting.size(), 1u) << "the guard lets the next trigger through";
}

TEST(Run, AFailureReplacesTheResultAndIsAlertedOnceIdleUntilTheNextRun) {
    ShellHarness shell;
    shell.launchIdle();
    const auto succeeding = shell.engine;
    shell.engine = failingEngine;
    bool idleWhileAlertUp = false;
    std::string lineWhileAlertUp;
    shell.desktop.whileAlertOpen = [&] {
        idleWhileAlertUp = !shell.isBackingUp();
        lineWhileAlertUp = shell.statusItem.menu.items.front().title;
    };
    shell.choose(Command::backUpNow);
    shell.finishRunAndWait();

    const std::string description = "Could not publish the backup: the disk is full";
    EXPECT_EQ(shell.desktop.alerts, (std::vector<std::pair<std::string, std::string>> {
                                        {"Brindle could not finish the backup.", description}}));
    EXPECT_TRUE(idleWhileAlertUp);
    EXPECT_EQ(lineWhileAlertUp, "Backing up Codex files...") << "the menu is rebuilt only after the alert";
    EXPECT_EQ(shell.statusItem.statusLine(), "Backup failed: " + description);

    shell.engine = succeeding;
    shell.choose(Command::backUpNow);
    EXPECT_EQ(shell.statusItem.statusLine(), "Backing up Codex files...");
    shell.finishRunAndWait();
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced just now");
}

TEST(Run, ASpinnerTickQueuedBeforeTheCompletionChangesNothingAfterIt) {
    ShellHarness shell;
    shell.launch();
    shell.finishRun();
    // The tick at 1.2 s queues its job, the completion fires at 1.25 s, and only then
    // do the queued jobs run.
    shell.clock.advance(1250ms, /*runJobs=*/false);
    ASSERT_FALSE(shell.isBackingUp());
    ASSERT_GT(shell.clock.pendingJobCount(), 0u);
    shell.clock.runPendingJobs();
    EXPECT_FALSE(shell.isBackingUp()) << "a stale tick brought the spinner back";
}

TEST(Run, ARunThatCannotGetAThreadFailsInsteadOfBlockingLaterRuns) {
    ShellHarness shell;
    shell.runner.refuseToStart = true;
    shell.launch();
    EXPECT_FALSE(shell.isBackingUp());
    EXPECT_EQ(shell.desktop.alerts.size(), 1u);
    shell.runner.refuseToStart = false;
    shell.choose(Command::backUpNow);
    EXPECT_EQ(shell.runner.waiting.size(), 1u);
}

TEST(ModalRule, FiringsUnderAFailureAlertCollapseIntoOneRunWhenItCloses) {
    ShellHarness shell;
    shell.engine = failingEngine;
    shell.writeSettings({"/old/root", {}, 5});
    shell.launch();
    std::optional<std::size_t> runsWhileOpen;
    shell.desktop.whileAlertOpen = [&] {
        if (runsWhileOpen) return;  // only the first alert stays up, for hours
        shell.clock.advance(3h);
        runsWhileOpen = shell.runner.waiting.size();
    };
    shell.finishRunAndWait();
    EXPECT_EQ(runsWhileOpen, 0u) << "an unattended failure alert stacked more runs";
    EXPECT_EQ(shell.runner.waiting.size(), 1u) << "one run right after the alert closed";
}

TEST(ModalRule, AFiringUnderTheChooserRunsOnceTheCommandIsDone) {
    struct Case {
        std::optional<Path> chosen;
        bool saveFails;
        std::string rootOfTheRun;
    };
    for (const Case& c : std::vector<Case> {{"/new/root", false, "/new/root"},
                                            {std::nullopt, false, "/old/root"},
                                            {"/new/root", true, "/new/root"}}) {
        SCOPED_TRACE(c.chosen ? (c.saveFails ? "save fails" : "saved") : "cancelled");
        ShellHarness shell;
        shell.writeSettings({"/old/root", {}, 5});
        shell.launchIdle();
        if (c.saveFails) shell.faults.failWhen("writeFileAtomically", "settings.json", EACCES);
        shell.desktop.chosenFolder = c.chosen;
        std::size_t runsUnderPanels = 0;
        auto panelUp = [&] {
            shell.clock.advance(10min);
            runsUnderPanels += shell.runner.waiting.size();
        };
        shell.desktop.whileChooserOpen = panelUp;
        shell.desktop.whileAlertOpen = panelUp;
        shell.choose(Command::chooseBackupFolder);
        shell.clock.runPendingJobs();

        EXPECT_EQ(runsUnderPanels, 0u);
        ASSERT_EQ(shell.runner.waiting.size(), 1u);
        shell.finishRun();
        EXPECT_EQ(shell.engineCalls.back().destinationRootPath, c.rootOfTheRun);
    }
}

}  // namespace
}  // namespace brindle::testing
