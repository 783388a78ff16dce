#include <gtest/gtest.h>

#include <limits>

#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;
using shell::AppDelegate;

BackupSettings settingsWithInterval(std::int64_t minutes) {
    return {"/nowhere/Brindle Backups", {"codex-config"}, minutes};
}

TEST(Launch, BecomesAccessoryDrawsTheIdleItemThenStartsARunBeforeScheduling) {
    ShellHarness shell;
    shell.launch();

    const std::vector<std::string> expected {
        "becomeAccessory",
        "setImage externaldrive.badge.icloud",
        "setImagePosition",
        "setTitle Brindle",
        "setMenu Brindle is ready",
        "setImage arrow.triangle.2.circlepath",
        "setTitle Saving |",
        "scheduleRepeating 200ms",
        "setMenu Backing up Codex files...",
        "background start",
        "scheduleRepeating 1800000ms",
    };
    EXPECT_EQ(shell.journal.entries(), expected);
}

TEST(Launch, AStatusItemWithoutAButtonStillLaunchesRunsAndRecords) {
    ShellHarness shell(/*statusItemHasButton=*/false);
    shell.launch();
    ASSERT_TRUE(shell.delegate().isBackingUp());
    shell.finishRunAndWait();

    EXPECT_FALSE(shell.delegate().isBackingUp());
    EXPECT_TRUE(shell.delegate().lastResult().has_value());
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced just now");
}

TEST(Launch, StartsExactlyOneRunAndTheFirstScheduledOneAFullIntervalLater) {
    ShellHarness shell;
    shell.writeSettings(settingsWithInterval(10));
    shell.launch();
    EXPECT_EQ(shell.runner.waitingCount(), 1u);
    shell.finishRunAndWait();

    shell.clock.advance(10min - shell.clock.elapsed() - 1ms);
    EXPECT_EQ(shell.runner.waitingCount(), 0u);
    EXPECT_FALSE(shell.delegate().isBackingUp());

    shell.clock.advance(1ms);
    EXPECT_EQ(shell.runner.waitingCount(), 1u);
    EXPECT_TRUE(shell.delegate().isBackingUp());
    shell.finishRunAndWait();

    shell.clock.advance(20min - shell.clock.elapsed());
    EXPECT_EQ(shell.runner.waitingCount(), 1u) << "the schedule follows the launch by whole intervals";
}

struct IntervalCase {
    std::int64_t storedMinutes;
    std::chrono::milliseconds timerInterval;
};

class ScheduleInterval : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(ScheduleInterval, IsTheStoredMinutesWithinTheBounds) {
    ShellHarness shell;
    shell.writeSettings(settingsWithInterval(GetParam().storedMinutes));
    shell.delegate().scheduleTimer();

    EXPECT_EQ(shell.clock.activeRepeatingIntervals(), std::vector {GetParam().timerInterval});
    EXPECT_EQ(shell.delegate().settingsStore().settings().backupIntervalMinutes, GetParam().storedMinutes);
}

// Qt's timers hold up to 2^31 - 1 ms, which is 35,791 whole minutes.
INSTANTIATE_TEST_SUITE_P(Table, ScheduleInterval,
                         ::testing::Values(IntervalCase {0, 300s}, IntervalCase {-10, 300s}, IntervalCase {1, 300s},
                                           IntervalCase {5, 300s}, IntervalCase {6, 360s}, IntervalCase {60, 3600s},
                                           IntervalCase {35'791, 35'791min}, IntervalCase {35'792, 35'791min},
                                           IntervalCase {std::numeric_limits<std::int64_t>::max(), 35'791min},
                                           IntervalCase {std::numeric_limits<std::int64_t>::min(), 300s}));

}  // namespace
}  // namespace brindle::testing
