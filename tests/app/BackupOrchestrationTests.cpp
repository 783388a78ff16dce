#include <gtest/gtest.h>

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
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min(), highest = std::numeric_limits<std::int64_t>::max();
    const std::vector<std::pair<std::int64_t, std::chrono::minutes>> cases {
        {lowest, 5min}, {1, 5min}, {5, 5min}, {6, 6min}, {35'791, 35'791min}, {35'792, 35'791min}, {highest, 35'791min}};
    for (const auto& [stored, interval] : cases) EXPECT_EQ(shell::scheduleInterval(stored, qtLimit), interval) << stored;
}

TEST(Schedule, OneRunAtLaunchThenOneEveryStoredIntervalCountedFromTheLaunch) {
    ShellHarness shell;
    shell.writeSettings({"/nowhere", {}, 10});
    shell.launch();
    shell.finishRun();
    shell.advance(10min - 1ms);
    EXPECT_TRUE(shell.waiting.empty());
    shell.advance(1ms);
    shell.finishRun();
    shell.advance(10min);
    EXPECT_EQ(shell.waiting.size(), 1u);
}

TEST(Run, TheSpinnerTurnsFromItsFirstFrameUntilTheRunEndsAndALateTickChangesNothing) {
    ShellHarness shell;
    shell.launch();
    shell.advance(1s);
    EXPECT_EQ(std::vector(shell.looks.end() - 6, shell.looks.end()),
              (std::vector<shell::StatusLook> {{0}, {1}, {2}, {3}, {0}, {1}}));
    shell.finishRun();
    // The tick at 1.2 s queues its job, the completion fires at 1.25 s, and only then
    // do the queued jobs run.
    shell.advance(250ms, /*runJobs=*/false);
    ASSERT_FALSE(shell.isBackingUp());
    ASSERT_FALSE(shell.jobs.empty());
    shell.runPendingJobs();
    const std::size_t drawn = shell.looks.size();
    shell.advance(1s);
    EXPECT_EQ(shell.looks.size(), drawn) << "the spinner came back or kept turning";
    EXPECT_FALSE(shell.isBackingUp());
    shell.choose(Command::backUpNow);
    EXPECT_EQ(shell.looks.back(), shell::StatusLook {0});
}

TEST(Run, TheIndicatorStaysUpForItsMinimumOnTheMonotonicClock) {
    const std::vector<std::pair<std::chrono::milliseconds, std::chrono::hours>> runTimesAndWallClockJumps {
        {300ms, 0h}, {300ms, -1h}, {300ms, 1h}, {3s, 0h}};
    for (const auto& [runTime, jump] : runTimesAndWallClockJumps) {
        SCOPED_TRACE(::testing::Message() << runTime.count() << " ms, wall clock moved by " << jump.count() << " h");
        ShellHarness shell;
        shell.launch();
        shell.advance(runTime);
        shell.moveWallClock(jump);
        shell.finishRun();
        if (runTime < 1250ms) {
            shell.advance(1250ms - runTime - 1ms);
            EXPECT_EQ(shell.statusLine(), "Backing up Codex files...");
            shell.advance(1ms);
        }
        EXPECT_FALSE(shell.isBackingUp());
        EXPECT_EQ(shell.statusLine(), "Last synced just now");
    }
}

TEST(Run, ATriggerDuringARunIsDroppedNotQueued) {
    ShellHarness shell;
    shell.writeSettings({"/nowhere", {}, 5});
    shell.launch();
    shell.advance(200ms);
    const std::size_t looks = shell.looks.size();
    shell.choose(Command::backUpNow);
    EXPECT_EQ(shell.looks.size(), looks) << "a dropped trigger restarted the spinner";
    shell.advance(5min);  // a scheduled firing during the run
    shell.finishRunAndWait();
    EXPECT_EQ(shell.engineCalls.size(), 1u);
    EXPECT_TRUE(shell.waiting.empty());
}

TEST(Run, AFailureReplacesTheResultIsAlertedWhenIdleAndShownUntilARunSucceeds) {
    ShellHarness shell;
    shell.launchIdle();
    shell.refuseToStart = true;
    shell.choose(Command::backUpNow);
    EXPECT_EQ(shell.statusLine(), "Backup failed: Resource temporarily unavailable");
    shell.refuseToStart = false;
    const auto succeeding = shell.engine;
    shell.engine = failingEngine;
    bool idleWhileAlertUp = false;
    shell.whileModal = [&] { idleWhileAlertUp = !shell.isBackingUp(); };
    shell.choose(Command::backUpNow);  // the run that could not start left nothing behind
    shell.finishRunAndWait();

    const std::string description = "Could not publish the backup: the disk is full";
    EXPECT_EQ(shell.alerts, (ShellHarness::Alerts {{"Brindle could not finish the backup.", "Resource temporarily unavailable"},
                                                    {"Brindle could not finish the backup.", description}}));
    EXPECT_TRUE(idleWhileAlertUp);
    EXPECT_EQ(shell.statusLine(), "Backup failed: " + description);
    shell.engine = succeeding;
    shell.choose(Command::backUpNow);
    shell.finishRunAndWait();
    EXPECT_EQ(shell.statusLine(), "Last synced just now");
}

// Qt keeps firing timers under a modal panel; an unattended machine must not stack alerts.
TEST(ModalRule, FiringsUnderAFailureAlertCollapseIntoOneRunWhenItCloses) {
    ShellHarness shell;
    shell.engine = failingEngine;
    shell.writeSettings({"/nowhere", {}, 5});
    shell.launch();
    std::optional<std::size_t> runsWhileOpen;
    shell.whileModal = [&] {
        if (runsWhileOpen) return;  // only the first alert stays up, for hours
        shell.advance(3h);
        runsWhileOpen = shell.waiting.size();
    };
    shell.finishRunAndWait();
    EXPECT_EQ(runsWhileOpen, 0u);
    EXPECT_EQ(shell.waiting.size(), 1u) << "one run right after the alert closed";
}

TEST(ChooseBackupFolder, SavesAndRunsOrAlertsAndFiringsUnderItsPanelsWaitForTheCommand) {
    struct Case {
        std::optional<Path> chosen;
        bool saveFails;
        std::chrono::minutes panelsUpFor;
        bool duringARun;
        std::string saved;
        std::optional<std::string> rootOfTheWaitingRun;
    };
    const std::vector<Case> cases {
        {"/new/root", false, 0min, false, "/new/root", "/new/root"},
        {std::nullopt, false, 0min, false, "/old/root", std::nullopt},
        {"/new/root", true, 0min, false, "/old/root", std::nullopt},
        {"/new/root", false, 10min, false, "/new/root", "/new/root"},
        {std::nullopt, false, 10min, false, "/old/root", "/old/root"},
        // The choice stays in memory for the firing held back under the panels.
        {"/new/root", true, 10min, false, "/old/root", "/new/root"},
        // The run under way keeps the settings of its start.
        {"/new/root", false, 0min, true, "/new/root", "/old/root"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.chosen.value_or("cancelled") << (c.saveFails ? ", save fails" : "")
                                          << ", panels up " << c.panelsUpFor.count() << " min"
                                          << (c.duringARun ? ", during a run" : ""));
        ShellHarness shell;
        shell.writeSettings({"/old/root", {}, 5});
        c.duringARun ? shell.launch() : shell.launchIdle();
        if (c.saveFails) shell.faults.failWhen("writeFileAtomically", "settings.json", ENOSPC);
        shell.chosenFolder = c.chosen;
        std::size_t runsUnderPanels = 0;
        shell.whileModal = [&] {
            shell.advance(c.panelsUpFor);
            runsUnderPanels += shell.waiting.size() - (c.duringARun ? 1 : 0);
        };
        shell.choose(Command::chooseBackupFolder);
        shell.runPendingJobs();

        EXPECT_EQ(shell.choosers, (ShellHarness::Alerts {{"Choose Brindle Backup Folder", "/old/root"}}));
        EXPECT_EQ(runsUnderPanels, 0u);
        EXPECT_EQ(shell.savedRoot(), c.saved);
        EXPECT_EQ(shell.alerts.size(), c.saveFails ? 1u : 0u);
        if (c.saveFails && c.panelsUpFor == 0min) {
            const auto& [headline, description] = shell.alerts.front();
            EXPECT_EQ(headline, "Brindle could not finish the backup.");
            EXPECT_NE(description.find("settings.json"), std::string::npos) << description;
            EXPECT_EQ(shell.statusLine(), "Backup failed: " + description) << "the earlier result is cleared";
        }
        ASSERT_EQ(shell.waiting.size(), c.rootOfTheWaitingRun ? 1u : 0u);
        if (!c.rootOfTheWaitingRun) continue;
        shell.finishRun();
        EXPECT_EQ(shell.engineCalls.back().destinationRootPath, c.rootOfTheWaitingRun);
    }
}

}  // namespace
}  // namespace brindle::testing
