#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "BrindleApp/shell/Menu.h"
#include "BrindleApp/shell/ShellError.h"
#include "BrindleApp/shell/ShellPlatform.h"
#include "BrindleCore/BackupResult.h"
#include "BrindleCore/SettingsStore.h"

namespace brindle::shell {

// The whole desktop shell: the status item and its menu, the schedule, the runs and
// their progress indicator, and the menu's commands. Lives for the whole process and
// is used on the main thread only; the one thing done elsewhere is the backup run,
// which receives a copy of the settings and hands back its outcome as a value.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
    // The spinner drawn in the status item's title while a run is in progress.
    static constexpr std::array<std::string_view, 4> animationFrames {"|", "/", "-", "\\"};
    // The shortest time the progress indicator stays up, so that a quick run is seen.
    static constexpr std::chrono::milliseconds minimumSyncIndicatorDuration {1250};
    // Bounds of the schedule; the stored interval itself is never changed.
    static constexpr std::int64_t minimumIntervalMinutes = 5;

    // Builds the settings store from the platform's file manager (the default
    // settings location, the user's home folder) and holds the platform's services.
    static std::shared_ptr<AppDelegate> create(ShellPlatform platform);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Start-up and schedule.
    void applicationDidFinishLaunching();
    void configureStatusItem();
    void scheduleTimer();

    // Runs and the progress indicator.
    void runBackup();
    void updateStatusItemForSync();
    void startSyncAnimation();
    void stopSyncAnimation();

    // The status menu.
    void rebuildMenu();
    std::string statusTitle();
    void menuWillOpen();

    // The menu's commands.
    void backUpNow();
    void openBackupFolder();
    void chooseBackupFolder();
    void checkForUpdates();
    void toggleLaunchAtLogin();
    void quit();

    SettingsStore& settingsStore() { return settingsStore_; }
    bool isBackingUp() const { return isBackingUp_; }
    const std::optional<BackupResult>& lastResult() const { return lastResult_; }
    const std::optional<ShellError>& lastError() const { return lastError_; }
    std::int64_t animationFrame() const { return animationFrame_; }

private:
    using Outcome = std::variant<BackupResult, std::exception_ptr>;

    explicit AppDelegate(ShellPlatform platform);

    void scheduledFiring();
    void runArrived(Outcome outcome, Clock::MonotonicTime startTime);
    void completeRun(Outcome outcome);
    void setIdleImage();
    std::function<void()> action(void (AppDelegate::*command)());

    // Modal panels. The schedule holds back while one is open, since the event loop
    // keeps firing timers under it.
    void showError(const std::string& messageText, const ShellError& error);
    std::optional<Path> runFolderChooser(const FolderChooserOptions& options);
    void enterModal();
    void leaveModal();

    ShellPlatform platform_;
    BackupPerformer backupPerformer_;
    SettingsStore settingsStore_;
    std::unique_ptr<Timer> timer_;
    std::unique_ptr<Timer> animationTimer_;
    std::optional<BackupResult> lastResult_;
    std::optional<ShellError> lastError_;
    std::weak_ptr<MenuItem> statusMenuItem_;
    bool isBackingUp_ = false;
    std::int64_t animationFrame_ = 0;
    // Holds a quick run's completion back until the indicator has been up long enough.
    std::unique_ptr<Timer> indicatorTimer_;
    // Modal panels open right now; the schedule waits while there are any.
    int openModals_ = 0;
    bool scheduledRunDeferred_ = false;
};

}  // namespace brindle::shell
