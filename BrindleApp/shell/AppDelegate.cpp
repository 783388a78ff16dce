#include "BrindleApp/shell/AppDelegate.h"

#include <algorithm>

namespace brindle::shell {

namespace {

constexpr const char* idleIconName = "externaldrive.badge.icloud";
constexpr const char* appName = "Brindle";

}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(ShellPlatform platform) {
    // Not make_shared: the constructor is private so that every delegate is shared,
    // which the weak references in timers and menu actions rely on.
    return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(platform)));
}

AppDelegate::AppDelegate(ShellPlatform platform)
    : platform_(std::move(platform)),
      backupPerformer_(platform_.backupPerformer ? platform_.backupPerformer
                                                 : lockedBackupPerformer(platform_.fileManager, platform_.userFolders)),
      settingsStore_(platform_.fileManager, SettingsStore::defaultSettingsURL(platform_.userFolders),
                     platform_.userFolders.home) {}

void AppDelegate::applicationDidFinishLaunching() {
    platform_.application.becomeAccessory();
    configureStatusItem();
    rebuildMenu();
    // The first backup starts before any timer exists, so the schedule follows the
    // launch by whole intervals.
    runBackup();
    scheduleTimer();
}

void AppDelegate::configureStatusItem() {
    StatusButton* button = platform_.statusItem.button();
    if (button == nullptr) return;
    setIdleImage();
    button->setImagePosition(ImagePosition::imageLeading);
    button->setTitle(appName);
}

void AppDelegate::setIdleImage() {
    StatusButton* button = platform_.statusItem.button();
    if (button == nullptr) return;
    button->setImage(idleIconName, appName);
    if (button->hasImage()) button->setImageTemplate(true);
}

void AppDelegate::scheduleTimer() {
    if (timer_) timer_->invalidate();
    // Clamped before multiplying: a hand-edited interval may be anything up to the
    // largest 64-bit value, and the platform's timer holds far less.
    const std::int64_t longestMinutes =
        std::chrono::duration_cast<std::chrono::minutes>(platform_.eventLoop.maximumTimerInterval()).count();
    std::int64_t minutes = std::max(settingsStore_.settings().backupIntervalMinutes, minimumIntervalMinutes);
    minutes = std::min(minutes, longestMinutes);
    const auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::minutes(minutes));

    EventLoop& loop = platform_.eventLoop;
    timer_ = loop.scheduleRepeating(interval, [weak = weak_from_this(), &loop] {
        loop.post([weak] {
            if (auto self = weak.lock()) self->scheduledFiring();
        });
    });
}

std::function<void()> AppDelegate::action(void (AppDelegate::*command)()) {
    return [weak = weak_from_this(), command] {
        if (auto self = weak.lock()) ((*self).*command)();
    };
}

}  // namespace brindle::shell
