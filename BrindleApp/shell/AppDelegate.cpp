#include "BrindleApp/shell/AppDelegate.h"

#include <algorithm>

#include "BrindleCore/ErrorText.h"

namespace brindle::shell {

namespace {

// The menu's language. The age in the status line is written in it, whatever the
// user's locale, until the menu itself is translated.
constexpr const char* menuLanguage = "en";

// The shell's two uses of the file layer: the settings store (the default settings
// location, the user's home folder), and whether the backup root is a folder.
SettingsStore makeSettingsStore(FileManager& files, const UserFolders& folders) {
    return SettingsStore(files, SettingsStore::defaultSettingsURL(folders), folders.home);
}

bool isExistingFolder(FileManager& files, const Path& path) {
    try {
        return path.is_absolute() && files.examine(path).isDirectory();
    } catch (const std::exception&) {
        return false;
    }
}

template <typename Action>
std::exception_ptr failureOf(Action action) {
    try {
        action();
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

}  // namespace

std::chrono::milliseconds scheduleInterval(std::int64_t storedMinutes, std::chrono::milliseconds longestTimer) {
    // Clamped before multiplying: a hand-edited interval may be anything up to the
    // largest 64-bit value.
    const std::int64_t longestMinutes = std::chrono::duration_cast<std::chrono::minutes>(longestTimer).count();
    return std::chrono::minutes(std::min(std::max<std::int64_t>(storedMinutes, 5), longestMinutes));
}

std::shared_ptr<AppDelegate> AppDelegate::create(ShellPlatform platform) {
    // Not make_shared: the constructor is private so that every delegate is shared,
    // which the weak references in timers and menu actions rely on.
    return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(platform)));
}

AppDelegate::AppDelegate(ShellPlatform platform)
    : platform_(std::move(platform)),
      settingsStore_(makeSettingsStore(platform_.fileManager, platform_.userFolders)),
      relativeDateFormatter_(menuLanguage) {}

template <typename Panel>
auto AppDelegate::underModal(Panel panel) {
    ++openModals_;
    struct Leave {
        AppDelegate* self;
        ~Leave() { self->leaveModal(); }
    } leave {this};
    return panel();
}

void AppDelegate::leaveModal() {
    if (--openModals_ > 0 || !scheduledRunDeferred_) return;
    scheduledRunDeferred_ = false;
    // Posted rather than run here, so that the command that opened the panel finishes
    // first (a newly chosen folder is saved and its own run started); if that opens
    // another panel, the firing waits again.
    platform_.eventLoop.post(weakly(&AppDelegate::scheduledFiring));
}

std::function<void()> AppDelegate::weakly(void (AppDelegate::*step)()) {
    return [weak = weak_from_this(), step] {
        if (auto self = weak.lock()) ((*self).*step)();
    };
}

std::function<void()> AppDelegate::posting(void (AppDelegate::*step)()) {
    // A timer does not act itself: its step runs as a main-thread job of its own,
    // after the jobs queued before it.
    return [&loop = platform_.eventLoop, job = weakly(step)] { loop.post(job); };
}

void AppDelegate::applicationDidFinishLaunching() {
    platform_.statusItem.setLook({});
    rebuildMenu();
    // The first backup starts before any timer exists, so the schedule follows the
    // launch by whole intervals.
    runBackup();
    scheduleTimer();
}

void AppDelegate::scheduleTimer() {
    EventLoop& loop = platform_.eventLoop;
    const auto interval = scheduleInterval(settingsStore_.settings().backupIntervalMinutes, loop.maximumTimerInterval());
    timer_ = loop.scheduleRepeating(interval, posting(&AppDelegate::scheduledFiring));
}

// Qt keeps firing timers under a modal panel, where the desktop this design came from
// holds them. Without this, an unattended machine whose backups keep failing would
// stack a new failure alert on every firing; instead, firings under a panel collapse
// into one run once the last panel is closed.
void AppDelegate::scheduledFiring() {
    if (openModals_ > 0) {
        scheduledRunDeferred_ = true;
        return;
    }
    runBackup();
}

void AppDelegate::runBackup() {
    // The one guard against a second run: a trigger during a run is dropped, not queued.
    if (isBackingUp_) return;
    isBackingUp_ = true;
    lastError_.reset();
    startSyncAnimation();
    rebuildMenu();

    // Monotonic, so that the clock being set back during a run cannot hold the
    // indicator up (and drop every trigger) for as long as it was moved.
    const Clock::MonotonicTime startTime = platform_.clock.monotonicNow();
    auto work = [performer = platform_.backupPerformer, settings = settingsStore_.settings(), startTime,
                 &loop = platform_.eventLoop, weak = weak_from_this()] {
        Outcome outcome;
        if (auto failure = failureOf([&] { outcome = performer(settings); })) outcome = failure;
        loop.post([weak, outcome = std::move(outcome), startTime]() mutable {
            if (auto self = weak.lock()) self->runArrived(std::move(outcome), startTime);
        });
    };
    // Where no thread can be had the run fails like any other, rather than leaving the
    // guard set for the rest of the process.
    if (auto failure = failureOf([&] { platform_.backgroundRunner.start(std::move(work)); })) completeRun(failure);
}

void AppDelegate::runArrived(Outcome outcome, Clock::MonotonicTime startTime) {
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(
        minimumSyncIndicatorDuration - (platform_.clock.monotonicNow() - startTime));
    if (remaining <= std::chrono::milliseconds::zero()) return completeRun(std::move(outcome));
    indicatorTimer_ = platform_.eventLoop.scheduleOnce(remaining, [weak = weak_from_this(), outcome] {
        if (auto self = weak.lock()) self->completeRun(outcome);
    });
}

void AppDelegate::completeRun(Outcome outcome) {
    indicatorTimer_.reset();
    stopSyncAnimation();
    isBackingUp_ = false;
    if (auto* error = std::get_if<std::exception_ptr>(&outcome)) {
        lastResult_.reset();
        showFailure("Brindle could not finish the backup.", *error);
    } else {
        lastResult_ = std::get<BackupResult>(std::move(outcome));
        lastError_.reset();
    }
    rebuildMenu();
}

void AppDelegate::startSyncAnimation() {
    animationFrame_ = 0;
    platform_.statusItem.setLook({animationFrame_});
    animationTimer_ = platform_.eventLoop.scheduleRepeating(animationInterval,
                                                            posting(&AppDelegate::advanceSyncAnimation));
}

void AppDelegate::advanceSyncAnimation() {
    // A tick queued just before the completion must not bring the spinner back.
    if (!isBackingUp_) return;
    animationFrame_ = (animationFrame_ + 1) % static_cast<int>(animationFrames.size());
    platform_.statusItem.setLook({animationFrame_});
}

void AppDelegate::stopSyncAnimation() {
    animationTimer_.reset();
    platform_.statusItem.setLook({});
}

void AppDelegate::rebuildMenu() {
    Menu menu;
    menu.items = statusMenuItems(statusTitle(), platform_.launchAtLogin.status() == LaunchAtLoginStatus::enabled);
    // Only the status line is refreshed on opening; the check mark keeps the reading
    // of the last rebuild.
    menu.willOpen = [weak = weak_from_this()](Menu& shown) {
        if (auto self = weak.lock()) shown.items.front().title = self->statusTitle();
    };
    menu.perform = [weak = weak_from_this()](Command command) {
        if (auto self = weak.lock()) self->perform(command);
    };
    platform_.statusItem.setMenu(std::move(menu));
}

std::string AppDelegate::statusTitle() {
    std::optional<Timestamp> createdAt;
    if (lastResult_) createdAt = lastResult_->manifest.createdAt;
    return shell::statusTitle(isBackingUp_, createdAt, lastError_, platform_.clock.wallNow(), relativeDateFormatter_);
}

void AppDelegate::perform(Command command) {
    switch (command) {
    case Command::backUpNow: return runBackup();
    case Command::openBackupFolder: return openBackupFolder();
    case Command::chooseBackupFolder: return chooseBackupFolder();
    case Command::toggleLaunchAtLogin: return toggleLaunchAtLogin();
    case Command::checkForUpdates: return platform_.desktop.checkForUpdates();
    case Command::quit: return platform_.desktop.terminate();
    }
}

void AppDelegate::openBackupFolder() {
    const Path root = settingsStore_.settings().destinationRootPath;
    // The root comes from a file the user may edit by hand. Handing the desktop
    // anything but an existing folder could launch a program or open a document, so
    // a missing root and anything that is not a folder do nothing, unreported.
    if (isExistingFolder(platform_.fileManager, root)) platform_.desktop.openFolder(root);
}

void AppDelegate::chooseBackupFolder() {
    const std::optional<Path> chosen = underModal([&] {
        return platform_.desktop.chooseFolder("Choose Brindle Backup Folder",
                                              settingsStore_.settings().destinationRootPath);
    });
    if (!chosen) return;
    settingsStore_.settings().destinationRootPath = chosen->string();
    if (auto failure = failureOf([&] { settingsStore_.save(); })) {
        // The new root stays in memory, so later runs of this process use it.
        lastResult_.reset();
        showFailure("Brindle could not finish the backup.", failure);
    } else {
        runBackup();
    }
    rebuildMenu();
}

void AppDelegate::toggleLaunchAtLogin() {
    LaunchAtLoginService& service = platform_.launchAtLogin;
    const bool enabled = service.status() == LaunchAtLoginStatus::enabled;
    // lastResult is kept, so that a held result still wins in the status line.
    if (auto failure = failureOf([&] { enabled ? service.unregisterApplication() : service.registerApplication(); }))
        showFailure("Brindle could not update Launch at Login.", failure);
    rebuildMenu();
}

void AppDelegate::showFailure(const std::string& messageText, const std::exception_ptr& error) {
    lastError_ = errorText(error);
    // A copy: a run started under the panel clears lastError.
    const std::string informativeText = *lastError_;
    underModal([&] { platform_.desktop.showError(messageText, informativeText); });
}

}  // namespace brindle::shell
