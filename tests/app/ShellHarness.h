#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "BrindleApp/shell/AppDelegate.h"
#include "tests/fakes/FakeShellPlatform.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/ManualClock.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::testing {

// An AppDelegate wired to fakes, a sandboxed settings file and a scripted engine.
class ShellHarness {
public:
    ShellHarness() { makeFolder(folder.path() / "home"); }

    Path settingsFile() const { return folder.path() / "config" / "Brindle" / "settings.json"; }
    // Before launch(): the delegate reads the file when it is made.
    void writeSettings(const BackupSettings& settings) {
        makeFolder(settingsFile().parent_path());
        writeFile(settingsFile(), toJson(settings));
    }
    // Makes the delegate and launches it: the idle item, the menu, the first run and
    // the schedule.
    void launch() {
        delegate_ = shell::AppDelegate::create({faults, clock, clock, runner, statusItem, desktop, launchAtLogin,
                                                [this](const BackupSettings& settings) {
                                                    engineCalls.push_back(settings);
                                                    return engine(settings);
                                                },
                                                {folder.path() / "home", folder.path() / "config"}});
        delegate_->applicationDidFinishLaunching();
    }
    // Launches and lets the first run finish.
    void launchIdle() { launch(); finishRunAndWait(); }
    void choose(shell::Command command) { statusItem.menu.perform(command); }

    // The waiting run's engine call returns (or throws) now and its outcome reaches
    // the main thread, which holds it until the indicator has been up long enough.
    void finishRun() { runner.runNext(); clock.runPendingJobs(); }
    // The same, then lets the minimum indicator time pass.
    void finishRunAndWait() { finishRun(); clock.advance(shell::minimumSyncIndicatorDuration); }
    bool isBackingUp() const { return statusItem.looks.back().syncingFrame.has_value(); }

    // What the engine returns or throws; by default a result created now.
    std::function<BackupResult(const BackupSettings&)> engine = [this](const BackupSettings&) {
        BackupResult result;
        result.manifest.createdAt = clock.wallNow();
        return result;
    };
    std::vector<BackupSettings> engineCalls;

    TemporaryFolder folder;
    PosixFileManager posix;
    FaultInjectingFileManager faults {posix};
    ManualClock clock;
    FakeBackgroundRunner runner;
    FakeStatusItem statusItem;
    FakeDesktop desktop;
    FakeLaunchAtLogin launchAtLogin;

private:
    // Last, so that it goes before the fakes it uses.
    std::shared_ptr<shell::AppDelegate> delegate_;
};

}  // namespace brindle::testing
