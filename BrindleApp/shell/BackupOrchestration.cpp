#include "BrindleApp/shell/AppDelegate.h"

namespace brindle::shell {

void AppDelegate::runBackup() {
    // The one guard against a second run: a trigger during a run is dropped, not queued.
    if (isBackingUp_) return;
    isBackingUp_ = true;
    lastError_.reset();
    animationFrame_ = 0;
    updateStatusItemForSync();
    startSyncAnimation();
    rebuildMenu();

    BackupSettings settings = settingsStore_.settings();
    // Monotonic, so that the clock being set back during a run cannot hold the
    // indicator up (and drop every trigger) for as long as it was moved.
    const Clock::MonotonicTime startTime = platform_.clock.monotonicNow();

    EventLoop& loop = platform_.eventLoop;
    auto work = [performer = backupPerformer_, settings = std::move(settings), startTime, &loop,
                 weak = weak_from_this()] {
        Outcome outcome;
        try {
            outcome = performer(settings);
        } catch (...) {
            outcome = std::current_exception();
        }
        loop.post([weak, outcome = std::move(outcome), startTime]() mutable {
            if (auto self = weak.lock()) self->runArrived(std::move(outcome), startTime);
        });
    };
    try {
        platform_.backgroundRunner.start(std::move(work));
    } catch (...) {
        // No thread could be had: the run fails like any other rather than leaving
        // the guard set for the rest of the process.
        completeRun(std::current_exception());
    }
}

void AppDelegate::runArrived(Outcome outcome, Clock::MonotonicTime startTime) {
    const auto elapsed = platform_.clock.monotonicNow() - startTime;
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(minimumSyncIndicatorDuration - elapsed);
    if (remaining <= std::chrono::milliseconds::zero()) {
        completeRun(std::move(outcome));
        return;
    }
    indicatorTimer_ = platform_.eventLoop.scheduleOnce(remaining, [weak = weak_from_this(), outcome]() {
        if (auto self = weak.lock()) self->completeRun(outcome);
    });
}

void AppDelegate::completeRun(Outcome outcome) {
    indicatorTimer_.reset();
    stopSyncAnimation();
    isBackingUp_ = false;
    if (auto* error = std::get_if<std::exception_ptr>(&outcome)) {
        lastError_ = ShellError::from(*error);
        lastResult_.reset();
        showError("Brindle could not finish the backup.", *lastError_);
    } else {
        lastResult_ = std::get<BackupResult>(std::move(outcome));
        lastError_.reset();
    }
    rebuildMenu();
}

void AppDelegate::updateStatusItemForSync() {
    StatusButton* button = platform_.statusItem.button();
    if (button == nullptr) return;
    button->setImage("arrow.triangle.2.circlepath", "Backing up");
    if (button->hasImage()) button->setImageTemplate(true);
    button->setTitle("Saving " + std::string(animationFrames.at(static_cast<std::size_t>(animationFrame_))));
}

void AppDelegate::startSyncAnimation() {
    if (animationTimer_) animationTimer_->invalidate();
    EventLoop& loop = platform_.eventLoop;
    animationTimer_ = loop.scheduleRepeating(std::chrono::milliseconds(200), [weak = weak_from_this(), &loop] {
        loop.post([weak] {
            auto self = weak.lock();
            // A tick queued just before the completion must not bring the spinner back.
            if (!self || !self->isBackingUp_) return;
            self->animationFrame_ = (self->animationFrame_ + 1) % static_cast<std::int64_t>(animationFrames.size());
            self->updateStatusItemForSync();
        });
    });
}

void AppDelegate::stopSyncAnimation() {
    if (animationTimer_) animationTimer_->invalidate();
    animationTimer_.reset();
    StatusButton* button = platform_.statusItem.button();
    if (button == nullptr) return;
    setIdleImage();
    button->setTitle("Brindle");
}

}  // namespace brindle::shell
