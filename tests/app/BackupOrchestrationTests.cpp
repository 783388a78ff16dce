#include <gtest/gtest.h>

#include <cerrno>

#include "BrindleCore/BackupServiceError.h"
#include "BrindleCore/FileSystemError.h"
#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;

TEST(Run, SpinsThroughTheFramesEveryFifthOfASecondAndReturnsToIdle) {
    ShellHarness shell;
    shell.delegate().runBackup();
    FakeStatusButton& button = shell.statusItem.fakeButton();
    EXPECT_EQ(button.image, "arrow.triangle.2.circlepath");
    EXPECT_EQ(button.accessibilityDescription, "Backing up");
    EXPECT_TRUE(button.imageIsTemplate);

    std::vector<std::string> titles {button.title};
    for (int tick = 0; tick < 5; ++tick) {
        shell.clock.advance(199ms);
        EXPECT_EQ(button.title, titles.back()) << "no frame before 0.2 s have passed";
        shell.clock.advance(1ms);
        titles.push_back(button.title);
    }
    EXPECT_EQ(titles, (std::vector<std::string> {"Saving |", "Saving /", "Saving -", "Saving \\", "Saving |",
                                                  "Saving /"}));

    shell.finishRunAndWait();
    EXPECT_EQ(button.image, "externaldrive.badge.icloud");
    EXPECT_EQ(button.accessibilityDescription, "Brindle");
    EXPECT_TRUE(button.imageIsTemplate);
    EXPECT_EQ(button.title, "Brindle");
    EXPECT_TRUE(shell.clock.activeRepeatingIntervals().empty()) << "the spinner timer is gone";

    shell.delegate().runBackup();
    EXPECT_EQ(button.title, "Saving |") << "every run starts with the first frame";
}

TEST(Run, AQuickRunHoldsTheIndicatorForTheMinimumFromItsStart) {
    ShellHarness shell;
    shell.delegate().runBackup();
    shell.clock.advance(300ms);
    shell.finishRun();

    shell.clock.advance(949ms);
    EXPECT_TRUE(shell.delegate().isBackingUp());
    EXPECT_FALSE(shell.delegate().lastResult().has_value());
    shell.clock.advance(1ms);
    EXPECT_FALSE(shell.delegate().isBackingUp());
    EXPECT_TRUE(shell.delegate().lastResult().has_value());
    EXPECT_EQ(shell.clock.elapsed(), 1250ms);
}

TEST(Run, ASlowRunCompletesAsSoonAsItsOutcomeArrives) {
    ShellHarness shell;
    shell.delegate().runBackup();
    shell.clock.advance(3s);
    shell.finishRun();

    EXPECT_FALSE(shell.delegate().isBackingUp());
    EXPECT_TRUE(shell.delegate().lastResult().has_value());
    EXPECT_EQ(shell.statusItem.fakeButton().title, "Brindle");
}

TEST(Run, TheIndicatorIgnoresTheWallClockBeingSetBackOrForward) {
    for (const auto jump : {-1h, 1h}) {
        ShellHarness shell;
        shell.delegate().runBackup();
        shell.clock.advance(100ms);
        shell.clock.moveWallClock(jump);
        shell.finishRun();
        shell.clock.advance(1149ms);
        EXPECT_TRUE(shell.delegate().isBackingUp());
        shell.clock.advance(1ms);
        EXPECT_FALSE(shell.delegate().isBackingUp()) << "after a jump of " << jump.count() << " h";
    }
}

TEST(Run, TriggersDuringARunAreDroppedWithoutAnyChange) {
    ShellHarness shell;
    shell.writeSettings({"/nowhere", {}, 5});
    shell.launch();
    const int menusBefore = shell.statusItem.menusSet;

    shell.clock.advance(200ms);
    const std::int64_t frame = shell.delegate().animationFrame();
    shell.delegate().backUpNow();
    shell.statusItem.choose("Back Up Now");
    EXPECT_EQ(shell.delegate().animationFrame(), frame) << "a dropped trigger does not restart the spinner";
    EXPECT_EQ(shell.statusItem.menusSet, menusBefore) << "nor rebuild the menu";
    EXPECT_EQ(shell.runner.waitingCount(), 1u);

    // A run that outlasts a scheduled firing absorbs it too.
    shell.clock.advance(5min);
    EXPECT_EQ(shell.runner.waitingCount(), 1u);
    shell.finishRun();
    EXPECT_EQ(shell.engineCalls.size(), 1u);
    EXPECT_FALSE(shell.delegate().isBackingUp());

    shell.delegate().backUpNow();
    EXPECT_EQ(shell.runner.waitingCount(), 1u) << "the guard lets the next trigger through";
}

TEST(Run, AFailureReplacesTheEarlierResultAndIsShownInAnAlertOnceIdle) {
    ShellHarness shell;
    shell.delegate().runBackup();
    shell.finishRunAndWait();
    ASSERT_TRUE(shell.delegate().lastResult().has_value());

    shell.engine = [](const BackupSettings&) -> BackupResult {
        throw BackupServiceError::unableToPublishBackup("the disk is full");
    };
    bool idleWhileAlertUp = false;
    std::string lineWhileAlertUp;
    shell.alerts.whileOpen = [&] {
        idleWhileAlertUp = !shell.delegate().isBackingUp() && shell.statusItem.fakeButton().title == "Brindle";
        lineWhileAlertUp = shell.statusItem.menu->items.front()->title;
    };
    shell.delegate().runBackup();
    shell.finishRunAndWait();

    ASSERT_EQ(shell.alerts.shown.size(), 1u);
    EXPECT_EQ(shell.alerts.shown[0].messageText, "Brindle could not finish the backup.");
    EXPECT_EQ(shell.alerts.shown[0].informativeText, "Could not publish the backup: the disk is full");
    EXPECT_TRUE(idleWhileAlertUp);
    EXPECT_EQ(lineWhileAlertUp, "Backing up Codex files...") << "the menu is rebuilt only after the alert";
    EXPECT_FALSE(shell.delegate().lastResult().has_value());
    ASSERT_TRUE(shell.delegate().lastError().has_value());
    EXPECT_EQ(shell.delegate().lastError()->localizedDescription, "Could not publish the backup: the disk is full");
    EXPECT_EQ(shell.statusItem.statusLine(), "Backup failed: Could not publish the backup: the disk is full");
}

TEST(Run, ASuccessAfterAFailureClearsTheErrorFromTheStart) {
    ShellHarness shell;
    shell.engine = [](const BackupSettings&) -> BackupResult {
        throw FileSystemError::fromErrno("create the folder", "/backups/m", EACCES);
    };
    shell.delegate().runBackup();
    shell.finishRunAndWait();
    ASSERT_TRUE(shell.delegate().lastError().has_value());
    EXPECT_NE(shell.delegate().lastError()->localizedDescription.find("/backups/m"), std::string::npos);

    shell.engine = [&](const BackupSettings&) { return shell.resultCreatedAt(shell.clock.wallNow()); };
    shell.delegate().runBackup();
    EXPECT_FALSE(shell.delegate().lastError().has_value());
    EXPECT_EQ(shell.statusItem.statusLine(), "Backing up Codex files...");
    shell.finishRunAndWait();
    EXPECT_EQ(shell.statusItem.statusLine(), "Last synced just now");
}

TEST(Run, WorksOnACopyOfTheSettingsTakenAtItsStart) {
    ShellHarness shell;
    shell.delegate().settingsStore().settings().destinationRootPath = "/first";
    shell.delegate().runBackup();
    shell.delegate().settingsStore().settings().destinationRootPath = "/second";
    shell.finishRun();

    ASSERT_EQ(shell.engineCalls.size(), 1u);
    EXPECT_EQ(shell.engineCalls[0].destinationRootPath, "/first");
}

TEST(Run, ASpinnerTickQueuedBeforeTheCompletionChangesNothingAfterIt) {
    ShellHarness shell;
    shell.delegate().runBackup();
    shell.finishRun();
    // The last tick (at 1.2 s) posts its job, then the completion fires at 1.25 s,
    // and only then do the queued jobs run.
    shell.clock.advanceWithoutRunningJobs(1250ms);
    ASSERT_FALSE(shell.delegate().isBackingUp());
    ASSERT_GT(shell.clock.pendingJobCount(), 0u);
    const std::int64_t frame = shell.delegate().animationFrame();
    shell.clock.runPendingJobs();

    EXPECT_EQ(shell.delegate().animationFrame(), frame);
    EXPECT_EQ(shell.statusItem.fakeButton().title, "Brindle");
    EXPECT_EQ(shell.statusItem.fakeButton().image, "externaldrive.badge.icloud");
}

TEST(Run, ARunThatCannotGetAThreadFailsInsteadOfBlockingEveryLaterRun) {
    ShellHarness shell;
    shell.runner.refuseToStart = true;
    shell.delegate().runBackup();

    EXPECT_FALSE(shell.delegate().isBackingUp());
    EXPECT_TRUE(shell.delegate().lastError().has_value());
    EXPECT_EQ(shell.alerts.shown.size(), 1u);
    EXPECT_EQ(shell.statusItem.fakeButton().title, "Brindle");

    shell.runner.refuseToStart = false;
    shell.delegate().runBackup();
    EXPECT_EQ(shell.runner.waitingCount(), 1u);
}

}  // namespace
}  // namespace brindle::testing
