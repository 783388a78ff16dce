#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "BrindleApp/shell/Menu.h"
#include "BrindleApp/shell/RelativeDateFormatter.h"
#include "BrindleApp/shell/ShellPlatform.h"
#include "BrindleCore/BackupResult.h"
#include "BrindleCore/SettingsStore.h"

namespace brindle::shell {

// The shortest time the progress indicator stays up, so that a quick run is seen.
inline constexpr std::chrono::milliseconds minimumSyncIndicatorDuration {1250};
// How often the spinner moves on by one frame.
inline constexpr std::chrono::milliseconds animationInterval {200};

// The schedule's interval for the stored minutes: never under 5 minutes, nor over the
// longest interval the platform's timer holds. The stored value itself is kept.
std::chrono::milliseconds scheduleInterval(std::int64_t storedMinutes, std::chrono::milliseconds longestTimer);

// The whole desktop shell: the status item and its menu, the schedule, the runs and
// their progress indicator, and the menu's commands. Lives for the whole process and
// is used on the main thread only; the one thing done elsewhere is the backup run,
// which receives a copy of the settings and hands back its outcome as a value.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
    // Reads the settings (the defaults where the file cannot be used) and holds the
    // platform's services.
    static std::shared_ptr<AppDelegate> create(ShellPlatform platform);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Draws the idle item and its menu, starts the first backup, then the schedule.
    void applicationDidFinishLaunching();

private:
    using Outcome = std::variant<BackupResult, std::exception_ptr>;

    explicit AppDelegate(ShellPlatform platform);

    void scheduleTimer();
    void scheduledFiring();

    void runBackup();
    void runArrived(Outcome outcome, Clock::MonotonicTime startTime);
    void completeRun(Outcome outcome);
    void startSyncAnimation();
    void advanceSyncAnimation();
    void stopSyncAnimation();

    void rebuildMenu();
    std::string statusTitle();

    void perform(Command command);
    void openBackupFolder();
    void chooseBackupFolder();
    void toggleLaunchAtLogin();

    // Records the failure as the last error and shows it in a modal alert.
    void showFailure(const std::string& messageText, const std::exception_ptr& error);
    // Runs a modal panel; the schedule holds back while one is open, since the event
    // loop keeps firing timers under it.
    template <typename Panel>
    auto underModal(Panel panel);
    void leaveModal();
    // A job that calls `step` on this delegate if it still exists.
    std::function<void()> weakly(void (AppDelegate::*step)());
    // A timer callback that queues that job on the main thread.
    std::function<void()> posting(void (AppDelegate::*step)());

    ShellPlatform platform_;
    SettingsStore settingsStore_;
    RelativeDateFormatter relativeDateFormatter_;
    std::unique_ptr<Timer> timer_;
    std::unique_ptr<Timer> animationTimer_;
    std::optional<BackupResult> lastResult_;
    std::optional<std::string> lastError_;
    bool isBackingUp_ = false;
    int animationFrame_ = 0;
    // Holds a quick run's completion back until the indicator has been up long enough.
    std::unique_ptr<Timer> indicatorTimer_;
    // Modal panels open right now; a scheduled firing under them waits for the last.
    int openModals_ = 0;
    bool scheduledRunDeferred_ = false;
};

}  // namespace brindle::shell
