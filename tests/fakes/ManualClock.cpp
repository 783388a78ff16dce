#include "tests/fakes/ManualClock.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace brindle::testing {

using namespace std::chrono_literals;

class ManualClock::ManualTimer final : public shell::Timer {
public:
    explicit ManualTimer(std::shared_ptr<TimerState> state) : state_(std::move(state)) {}
    ~ManualTimer() override { invalidate(); }
    void invalidate() override { state_->active = false; }

private:
    std::shared_ptr<TimerState> state_;
};

ManualClock::ManualClock(Journal& journal)
    : journal_(journal),
      // Far from the epoch, so that no test subtracts its way below it.
      start_(MonotonicTime(1000h)),
      monotonic_(start_),
      wall_(std::chrono::sys_days(std::chrono::year(2025) / 3 / 10) + 12h) {}

std::unique_ptr<shell::Timer> ManualClock::scheduleRepeating(std::chrono::milliseconds interval, Job callback) {
    journal_.record("scheduleRepeating " + std::to_string(interval.count()) + "ms");
    return schedule(interval, true, std::move(callback));
}

std::unique_ptr<shell::Timer> ManualClock::scheduleOnce(std::chrono::milliseconds delay, Job callback) {
    journal_.record("scheduleOnce " + std::to_string(delay.count()) + "ms");
    return schedule(delay, false, std::move(callback));
}

std::unique_ptr<shell::Timer> ManualClock::schedule(std::chrono::milliseconds interval, bool repeating, Job callback) {
    if (interval <= 0ms && repeating) throw std::invalid_argument("a repeating timer needs a positive interval");
    if (interval > maximumInterval) throw std::overflow_error("interval beyond what the platform timer holds");
    auto state = std::make_shared<TimerState>(
        TimerState {interval, monotonic_ + interval, repeating, true, nextOrder_++, std::move(callback)});
    timers_.push_back(state);
    return std::make_unique<ManualTimer>(std::move(state));
}

void ManualClock::advance(std::chrono::milliseconds by) {
    advance(by, true);
}

void ManualClock::advanceWithoutRunningJobs(std::chrono::milliseconds by) {
    advance(by, false);
}

void ManualClock::advance(std::chrono::milliseconds by, bool runJobs) {
    const MonotonicTime target = monotonic_ + by;
    for (;;) {
        std::erase_if(timers_, [](const auto& timer) { return !timer->active; });
        std::shared_ptr<TimerState> next;
        for (const auto& timer : timers_) {
            if (timer->due > target) continue;
            if (!next || timer->due < next->due || (timer->due == next->due && timer->order < next->order)) next = timer;
        }
        if (!next) break;
        moveTo(next->due);
        if (next->repeating) {
            next->due += next->interval;
        } else {
            next->active = false;
        }
        // A copy: the callback may replace or drop its own timer.
        Job callback = next->callback;
        callback();
        if (runJobs) runPendingJobs();
    }
    // A job run above may itself have advanced the clock, e.g. under a modal panel.
    if (monotonic_ < target) moveTo(target);
    if (runJobs) runPendingJobs();
}

void ManualClock::moveTo(MonotonicTime time) {
    if (time <= monotonic_) return;
    wall_ += std::chrono::duration_cast<Timestamp::duration>(time - monotonic_);
    monotonic_ = time;
}

void ManualClock::runPendingJobs() {
    while (!jobs_.empty()) {
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        job();
    }
}

std::chrono::milliseconds ManualClock::elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(monotonic_ - start_);
}

std::vector<std::chrono::milliseconds> ManualClock::activeRepeatingIntervals() const {
    std::vector<std::chrono::milliseconds> intervals;
    for (const auto& timer : timers_) {
        if (timer->active && timer->repeating) intervals.push_back(timer->interval);
    }
    return intervals;
}

}  // namespace brindle::testing
