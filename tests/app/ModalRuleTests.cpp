#include <gtest/gtest.h>

#include <cerrno>

#include "BrindleCore/BackupServiceError.h"
#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;

// Interval 5 minutes; the launch run is finished, so the schedule is all that starts runs.
void launchIdle(ShellHarness& shell) {
    shell.writeSettings({"/old/root", {}, 5});
    shell.launch();
    shell.finishRunAndWait();
}

TEST(ModalRule, FiringsUnderAnAlertCollapseIntoOneRunWhenItCloses) {
    ShellHarness shell;
    shell.engine = [](const BackupSettings&) -> BackupResult {
        throw BackupServiceError::unableToPublishBackup("offline");
    };
    shell.writeSettings({"/old/root", {}, 5});
    shell.launch();

    std::size_t runsWhileOpen = 0;
    shell.alerts.whileOpen = [&] {
        shell.alerts.whileOpen = nullptr;  // only the first alert stays up for hours
        shell.clock.advance(3h);
        runsWhileOpen = shell.runner.waitingCount();
    };
    shell.finishRunAndWait();

    EXPECT_EQ(runsWhileOpen, 0u) << "an unattended failure alert does not stack more runs";
    EXPECT_EQ(shell.runner.waitingCount(), 1u) << "one run right after the alert closed";
    EXPECT_TRUE(shell.delegate().isBackingUp());
}

TEST(ModalRule, AFiringUnderTheChooserWaitsForTheChosenFolderToBeSaved) {
    ShellHarness shell;
    launchIdle(shell);
    shell.chooser.answer = Path("/new/root");
    shell.chooser.whileOpen = [&] { shell.clock.advance(10min); };
    shell.delegate().chooseBackupFolder();
    shell.clock.runPendingJobs();

    ASSERT_EQ(shell.runner.waitingCount(), 1u) << "the chooser's run absorbs the deferred firing";
    shell.finishRun();
    EXPECT_EQ(shell.engineCalls.back().destinationRootPath, "/new/root");
}

TEST(ModalRule, AFiringUnderACancelledChooserRunsOnceAfterIt) {
    ShellHarness shell;
    launchIdle(shell);
    shell.chooser.whileOpen = [&] { shell.clock.advance(10min); };
    shell.delegate().chooseBackupFolder();
    EXPECT_EQ(shell.runner.waitingCount(), 0u) << "not while the command is still running";
    shell.clock.runPendingJobs();
    EXPECT_EQ(shell.runner.waitingCount(), 1u);
}

TEST(ModalRule, AFiringUnderTheChooserStillWaitsForTheSaveFailureAlert) {
    ShellHarness shell;
    launchIdle(shell);
    shell.faults.failWhen("writeFileAtomically", "settings.json", EACCES);
    shell.chooser.answer = Path("/new/root");
    shell.chooser.whileOpen = [&] { shell.clock.advance(5min); };
    std::size_t runsWhileAlertOpen = 0;
    shell.alerts.whileOpen = [&] {
        shell.clock.advance(1min);
        runsWhileAlertOpen = shell.runner.waitingCount();
    };
    shell.delegate().chooseBackupFolder();
    shell.clock.runPendingJobs();

    EXPECT_EQ(runsWhileAlertOpen, 0u);
    EXPECT_EQ(shell.runner.waitingCount(), 1u);
}

}  // namespace
}  // namespace brindle::testing
