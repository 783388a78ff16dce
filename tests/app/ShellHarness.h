#pragma once

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <system_error>

#include "BrindleApp/shell/AppDelegate.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::testing {

// An AppDelegate whose whole platform the test plays: a sandboxed settings file, a
// scripted engine whose runs wait for finishRun(), and a tray, desktop and Launch at
// Login that record what they are asked. Both clocks and the event loop move only in
// advance(): each timer that comes due fires at its own moment, in order, and the jobs
// it posts run before the next one fires. The wall clock follows the monotonic one
// unless the test moves it apart, as a user changing the system time would.
class ShellHarness final : public shell::Clock, public shell::EventLoop, public shell::BackgroundRunner,
                           public shell::StatusItem, public shell::Desktop, public shell::LaunchAtLoginService {
public:
    using Alerts = std::vector<std::pair<std::string, std::string>>;
    using ms = std::chrono::milliseconds;

    Path settingsFile() const { return folder / "config/Brindle/settings.json"; }
    // Before launch(): the delegate reads the file when it is made.
    void writeSettings(const BackupSettings& settings) { writeFile(settingsFile(), toJson(settings)); }
    // The idle item, the menu, the first run and the schedule.
    void launch() {
        auto performer = [this](const BackupSettings& settings) { return engine(settings); };
        delegate_ = shell::AppDelegate::create(
            {faults, *this, *this, *this, *this, *this, *this, performer, {folder / "home", folder / "config"}});
        delegate_->applicationDidFinishLaunching();
    }
    void launchIdle() { launch(); finishRun(); advance(shell::minimumSyncIndicatorDuration); }
    void choose(shell::Command command) { menu.perform(command); }

    // The oldest waiting run's engine call returns (or throws) now and its outcome
    // reaches the main thread, which holds it until the indicator has been up long enough.
    void finishRun() {
        Work work = std::move(waiting.at(0));
        waiting.pop_front();
        work();
        runPendingJobs();
    }
    // The status line as the menu reads when it opens.
    std::string statusLine() {
        shell::Menu shown = menu;
        shown.willOpen(shown);
        return shown.items.front().title;
    }

    // `runJobs` false fires due timers without running the jobs they post, to line up races.
    void advance(ms by, bool runJobs = true) {
        const MonotonicTime target = monotonic_ + by;
        for (;;) {
            std::erase_if(timers_, [](const auto& timer) { return !timer->active; });
            const auto next = std::ranges::min_element(timers_, {}, &TimerEntry::due);  // the first scheduled on a tie
            if (next == timers_.end() || (*next)->due > target) break;
            const std::shared_ptr<TimerEntry> timer = *next;
            monotonic_ = std::max(monotonic_, timer->due);
            timer->active = timer->period > ms::zero();
            timer->due += timer->period;
            const Job callback = timer->callback;  // a copy: it may replace or drop its own timer
            callback();
            if (runJobs) runPendingJobs();
        }
        monotonic_ = std::max(monotonic_, target);  // a job under a modal panel may have gone further
        if (runJobs) runPendingJobs();
    }
    void runPendingJobs() {
        while (!jobs.empty()) {
            Job job = std::move(jobs.front());
            jobs.pop_front();
            job();
        }
    }

    // What a run returns or throws; by default it notes its root and returns a result created now.
    std::function<BackupResult(const BackupSettings&)> engine = [this](const BackupSettings& settings) {
        rootsBackedUp.push_back(settings.destinationRootPath);
        BackupResult result;
        result.manifest.createdAt = wallNow();
        return result;
    };
    std::vector<std::string> rootsBackedUp;
    std::deque<Work> waiting;
    bool refuseToStart = false;  // as when no thread can be had
    std::deque<Job> jobs;
    std::vector<shell::StatusLook> looks;
    shell::Menu menu;
    // Headline and informative text of each alert; title and starting folder of each chooser.
    Alerts alerts, choosers;
    // A modal panel "stays up" while this runs; a test passes time there, as the event
    // loop under a real panel would.
    std::function<void()> whileModal = [] {};
    std::optional<Path> chosenFolder;  // none: the chooser is cancelled
    std::vector<std::string> desktopCalls;
    bool launchAtLogin = false;
    std::optional<std::string> launchAtLoginFailure;
    Timestamp::duration wallClockMoved {};

    TemporaryFolder folder;
    PosixFileManager posix;
    FaultInjectingFileManager faults {posix};

    // The platform.
    Timestamp wallNow() override {
        return std::chrono::sys_days(std::chrono::year(2025) / 3 / 10) + wallClockMoved +
               std::chrono::duration_cast<Timestamp::duration>(monotonic_ - MonotonicTime());
    }
    MonotonicTime monotonicNow() override { return monotonic_; }
    void post(Job job) override { jobs.push_back(std::move(job)); }
    std::unique_ptr<shell::Timer> scheduleRepeating(ms interval, Job job) override { return schedule(interval, interval, std::move(job)); }
    std::unique_ptr<shell::Timer> scheduleOnce(ms delay, Job job) override { return schedule(delay, {}, std::move(job)); }
    ms maximumTimerInterval() const override { return ms(2'147'483'647); }  // Qt's: an int of milliseconds
    void start(Work work) override {
        if (refuseToStart) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        waiting.push_back(std::move(work));
    }
    void setLook(const shell::StatusLook& look) override { looks.push_back(look); }
    void setMenu(shell::Menu newMenu) override { menu = std::move(newMenu); }
    void showError(const std::string& messageText, const std::string& informativeText) override {
        alerts.emplace_back(messageText, informativeText);
        whileModal();
    }
    std::optional<Path> chooseFolder(const std::string& title, const Path& startingFolder) override {
        choosers.emplace_back(title, startingFolder);
        whileModal();
        return chosenFolder;
    }
    void openFolder(const Path& folder) override { desktopCalls.push_back("open " + folder.string()); }
    void checkForUpdates() override { desktopCalls.push_back("check for updates"); }
    void terminate() override { desktopCalls.push_back("terminate"); }
    shell::LaunchAtLoginStatus status() override {
        return launchAtLogin ? shell::LaunchAtLoginStatus::enabled : shell::LaunchAtLoginStatus::notRegistered;
    }
    void registerApplication() override { switchLaunchAtLogin(true); }
    void unregisterApplication() override { switchLaunchAtLogin(false); }

private:
    struct TimerEntry {
        MonotonicTime due;
        ms period;  // zero for a one-shot
        Job callback;
        bool active = true;
    };
    struct Handle final : shell::Timer {
        explicit Handle(std::shared_ptr<TimerEntry> entry) : entry(std::move(entry)) {}
        ~Handle() override { invalidate(); }
        void invalidate() override { entry->active = false; }
        std::shared_ptr<TimerEntry> entry;
    };

    std::unique_ptr<shell::Timer> schedule(ms delay, ms period, Job callback) {
        if (delay > maximumTimerInterval() || delay < ms::zero()) throw std::out_of_range("a timer the platform cannot hold");
        timers_.push_back(std::make_shared<TimerEntry>(TimerEntry {monotonic_ + delay, period, std::move(callback)}));
        return std::make_unique<Handle>(timers_.back());
    }
    void switchLaunchAtLogin(bool on) {
        if (launchAtLoginFailure) throw std::runtime_error(*launchAtLoginFailure);
        launchAtLogin = on;
    }

    // Far from the epoch, so that no test subtracts its way below it.
    MonotonicTime monotonic_ {std::chrono::hours(1000)};
    std::vector<std::shared_ptr<TimerEntry>> timers_;
    // Last, so that it goes before everything it uses.
    std::shared_ptr<shell::AppDelegate> delegate_;
};

}  // namespace brindle::testing
