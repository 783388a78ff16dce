#include "BrindleApp/qt/QtEventLoop.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace brindle::qt {

namespace {

class QtTimer final : public shell::Timer {
public:
    QtTimer(std::chrono::milliseconds interval, bool repeating, shell::EventLoop::Job callback)
        : timer_(new QTimer), job_(std::make_shared<shell::EventLoop::Job>(std::move(callback))) {
        // A one-shot holds the progress indicator up for its minimum and must never fire
        // early, as a coarse timer may by up to 5 %; the repeating ones may.
        timer_->setTimerType(repeating ? Qt::CoarseTimer : Qt::PreciseTimer);
        timer_->setSingleShot(!repeating);
        timer_->setInterval(static_cast<int>(interval.count()));
        // The slot holds the job weakly: once the handle is gone or invalidated, a
        // firing already under way finds nothing to call.
        QObject::connect(timer_, &QTimer::timeout, [weak = std::weak_ptr<shell::EventLoop::Job>(job_)] {
            // A local owner, so that a callback that destroys this handle finishes safely.
            if (auto job = weak.lock()) (*job)();
        });
        timer_->start();
    }

    ~QtTimer() override {
        invalidate();
        // Later, not now: the handle may be destroyed from the timer's own callback,
        // while Qt is still delivering its timeout signal.
        timer_->deleteLater();
    }

    void invalidate() override {
        timer_->stop();
        job_.reset();
    }

private:
    QTimer* timer_;
    std::shared_ptr<shell::EventLoop::Job> job_;
};

}  // namespace

QtEventLoop::QtEventLoop() = default;
QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::post(Job job) {
    // Queued even on the main thread, so the job never runs before post returns.
    QMetaObject::invokeMethod(&receiver_, [job = std::move(job)] { job(); }, Qt::QueuedConnection);
}

std::unique_ptr<shell::Timer> QtEventLoop::scheduleRepeating(std::chrono::milliseconds interval, Job callback) {
    return schedule(interval, true, std::move(callback));
}

std::unique_ptr<shell::Timer> QtEventLoop::scheduleOnce(std::chrono::milliseconds delay, Job callback) {
    return schedule(delay, false, std::move(callback));
}

std::chrono::milliseconds QtEventLoop::maximumTimerInterval() const {
    return std::chrono::milliseconds(std::numeric_limits<int>::max());
}

std::unique_ptr<shell::Timer> QtEventLoop::schedule(std::chrono::milliseconds interval, bool repeating, Job callback) {
    interval = std::clamp(interval, std::chrono::milliseconds::zero(), maximumTimerInterval());
    return std::make_unique<QtTimer>(interval, repeating, std::move(callback));
}

}  // namespace brindle::qt
