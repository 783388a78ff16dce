#include "tests/app/ShellHarness.h"

namespace brindle::testing {

ShellHarness::ShellHarness(bool statusItemHasButton)
    : statusItem(journal, statusItemHasButton) {
    makeFolder(home());
    engine = [this](const BackupSettings&) { return resultCreatedAt(clock.wallNow()); };
}

void ShellHarness::writeSettings(const BackupSettings& settings) {
    makeFolder(settingsFile().parent_path());
    writeFile(settingsFile(), toJson(settings));
}

shell::AppDelegate& ShellHarness::delegate() {
    if (!delegate_) {
        delegate_ = shell::AppDelegate::create({
            .fileManager = faults,
            .application = application,
            .eventLoop = clock,
            .clock = clock,
            .backgroundRunner = runner,
            .statusItem = statusItem,
            .relativeDateFormatter = formatter,
            .updaterController = updater,
            .launchAtLogin = launchAtLogin,
            .alerts = alerts,
            .folderChooser = chooser,
            .fileBrowser = fileBrowser,
            .backupPerformer =
                [this](const BackupSettings& settings) {
                    engineCalls.push_back(settings);
                    return engine(settings);
                },
            .userFolders = {home(), folder.path() / "config"},
        });
    }
    return *delegate_;
}

void ShellHarness::launch() {
    delegate().applicationDidFinishLaunching();
}

void ShellHarness::finishRun() {
    runner.runNext();
    clock.runPendingJobs();
}

void ShellHarness::finishRunAndWait() {
    finishRun();
    clock.advance(shell::AppDelegate::minimumSyncIndicatorDuration);
}

BackupResult ShellHarness::resultCreatedAt(Timestamp createdAt) const {
    BackupResult result;
    result.manifest.createdAt = createdAt;
    result.manifest.machineName = "test-machine";
    result.latestURL = folder.path() / "backups" / "test-machine" / "latest";
    return result;
}

}  // namespace brindle::testing
