#include <gtest/gtest.h>

#include <limits>

#include "BrindleCore/BackupServiceError.h"
#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;
using shell::Command;

TEST(Schedule, TheIntervalIsTheStoredMinutesWithinItsBounds) {
    // Qt's timers hold up to 2^31 - 1 ms, which is 35,791 whole minutes.
    const std::chrono::milliseconds qtLimit {2'147'483'647};
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min(), highest = std::numeric_limits<std::int64_t>::max();
    const std::vector<std::pair<std::int64_t, std::chrono::minutes>> cases {
        {lowest, 5min}, {1, 5min}, {5, 5min}, {6, 6min}, {35'791, 35'791min}, {35'792, 35'791min}, {highest, 35'791min}};
    for (const auto& [stored, interval] : cases) EXPECT_EQ(shell::scheduleInterval(stored, qtLimit), interval) << stored;
    // The delegate asks the platform for no timer it cannot hold, whatever the file says.
    ShellHarness shell;
    shell.writeSettings({"/b", {}, highest});
    EXPECT_NO_THROW(shell.launchIdle());
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
    ASSERT_FALSE(shell.looks.back().syncingFrame);
    ASSERT_FALSE(shell.jobs.empty());
    const std::size_t drawn = shell.looks.size();
    shell.advance(1s);
    EXPECT_EQ(shell.looks.size(), drawn) << "the spinner came back or kept turning";
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
        shell.wallClockMoved = jump;
        shell.finishRun();
        if (runTime < 1250ms) {
            shell.advance(1250ms - runTime - 1ms);
            EXPECT_EQ(shell.statusLine(), "Backing up Codex files...");
            shell.advance(1ms);
        }
        EXPECT_EQ(shell.statusLine(), "Last synced just now");
    }
}

TEST(Run, AFailureReplacesTheResultAndIsAlertedWhenIdle) {
    ShellHarness shell;
    shell.launchIdle();
    shell.refuseToStart = true;
    shell.choose(Command::backUpNow);
    shell.refuseToStart = false;
    shell.engine = [](const BackupSettings&) -> BackupResult {
        throw BackupServiceError::unableToPublishBackup("the disk is full");
    };
    bool idleWhileAlertUp = false;
    shell.whileModal = [&] { idleWhileAlertUp = !shell.looks.back().syncingFrame; };
    shell.choose(Command::backUpNow);  // the run that could not start left nothing behind
    shell.finishRun();
    shell.advance(shell::minimumSyncIndicatorDuration);

    const std::string description = "Could not publish the backup: the disk is full";
    EXPECT_EQ(shell.alerts, (ShellHarness::Alerts {{"Brindle could not finish the backup.", "Resource temporarily unavailable"},
                                                    {"Brindle could not finish the backup.", description}}));
    EXPECT_TRUE(idleWhileAlertUp);
    EXPECT_EQ(shell.statusLine(), "Backup failed: " + description);
}

}  // namespace
}  // namespace brindle::testing
