#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "BrindleApp/shell/AppDelegate.h"
#include "BrindleApp/shell/RelativeDateFormatter.h"
#include "tests/fakes/FakeBackgroundRunner.h"
#include "tests/fakes/FakeDesktopServices.h"
#include "tests/fakes/FakeModalPanels.h"
#include "tests/fakes/FakeStatusItem.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/Journal.h"
#include "tests/fakes/ManualClock.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::testing {

// An AppDelegate wired to fakes, a sandboxed settings file and a scripted engine.
class ShellHarness {
public:
    explicit ShellHarness(bool statusItemHasButton = true);

    Path home() const { return folder.path() / "home"; }
    Path settingsFile() const { return folder.path() / "config" / "Brindle" / "settings.json"; }
    // Must come before delegate(); the delegate reads the file when it is made.
    void writeSettings(const BackupSettings& settings);

    shell::AppDelegate& delegate();
    void launch();

    // The waiting run's engine call returns (or throws) now; its outcome reaches the
    // main thread, which holds it until the indicator has been up long enough.
    void finishRun();
    // The same, then lets the minimum indicator time pass.
    void finishRunAndWait();

    // What the engine returns or throws; the default succeeds with a result created now.
    std::function<BackupResult(const BackupSettings&)> engine;
    std::vector<BackupSettings> engineCalls;
    BackupResult resultCreatedAt(Timestamp createdAt) const;

    TemporaryFolder folder;
    PosixFileManager posix;
    FaultInjectingFileManager faults {posix};
    Journal journal;
    ManualClock clock {journal};
    FakeApplication application {journal};
    FakeBackgroundRunner runner {journal};
    FakeStatusItem statusItem;
    shell::IcuRelativeDateFormatter formatter {"en_US"};
    FakeUpdater updater;
    FakeLaunchAtLoginService launchAtLogin;
    FakeAlerts alerts {journal};
    FakeFolderChooser chooser {journal};
    FakeFileBrowser fileBrowser;

private:
    // Last, so that it goes before the fakes it uses.
    std::shared_ptr<shell::AppDelegate> delegate_;
};

}  // namespace brindle::testing
