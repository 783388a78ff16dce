#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <stdexcept>
#include <vector>

#include "BrindleApp/shell/Clock.h"
#include "BrindleApp/shell/EventLoop.h"

namespace brindle::testing {

// The main thread's event loop and both clocks, moved only by the test. Time passes
// in advance(): each timer that comes due fires at its own moment, in order, and the
// jobs it posts run before the next one fires. The wall clock follows the monotonic
// one unless the test moves it apart, as a user changing the system time would.
class ManualClock final : public shell::Clock, public shell::EventLoop {
public:
    Timestamp wallNow() override { return wall_; }
    MonotonicTime monotonicNow() override { return monotonic_; }

    void post(Job job) override { jobs_.push_back(std::move(job)); }
    std::unique_ptr<shell::Timer> scheduleRepeating(std::chrono::milliseconds interval, Job callback) override {
        return schedule(interval, interval, std::move(callback));
    }
    std::unique_ptr<shell::Timer> scheduleOnce(std::chrono::milliseconds delay, Job callback) override {
        return schedule(delay, std::chrono::milliseconds::zero(), std::move(callback));
    }
    // Qt's limit: a signed 32-bit count of milliseconds.
    std::chrono::milliseconds maximumTimerInterval() const override { return std::chrono::milliseconds(2'147'483'647); }

    // `runJobs` false fires due timers without running the jobs they post, to line up races.
    void advance(std::chrono::milliseconds by, bool runJobs = true) {
        const MonotonicTime target = monotonic_ + by;
        for (;;) {
            std::erase_if(timers_, [](const auto& timer) { return !timer->active; });
            const auto next = std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
                return a->due != b->due ? a->due < b->due : a->order < b->order;
            });
            if (next == timers_.end() || (*next)->due > target) break;
            const std::shared_ptr<Entry> timer = *next;
            moveTo(timer->due);
            timer->active = timer->period > std::chrono::milliseconds::zero();
            timer->due += timer->period;
            const Job callback = timer->callback;  // a copy: it may replace or drop its own timer
            callback();
            if (runJobs) runPendingJobs();
        }
        moveTo(target);  // unless a job has moved the clock on already, e.g. under a modal panel
        if (runJobs) runPendingJobs();
    }
    void runPendingJobs() {
        while (!jobs_.empty()) {
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            job();
        }
    }
    std::size_t pendingJobCount() const { return jobs_.size(); }
    void moveWallClock(Timestamp::duration by) { wall_ += by; }
    // Time passed on the monotonic clock since construction.
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(monotonic_ - start_);
    }

private:
    struct Entry {
        MonotonicTime due;
        std::chrono::milliseconds period;  // zero for a one-shot
        std::uint64_t order;
        Job callback;
        bool active = true;
    };
    struct Handle final : shell::Timer {
        explicit Handle(std::shared_ptr<Entry> entry) : entry(std::move(entry)) {}
        ~Handle() override { invalidate(); }
        void invalidate() override { entry->active = false; }
        std::shared_ptr<Entry> entry;
    };

    std::unique_ptr<shell::Timer> schedule(std::chrono::milliseconds delay, std::chrono::milliseconds period, Job callback) {
        // What the platform's timers cannot hold is the caller's fault, not a long wait.
        if (delay > maximumTimerInterval() || delay < std::chrono::milliseconds::zero())
            throw std::out_of_range("timer interval beyond what the platform holds");
        timers_.push_back(std::make_shared<Entry>(Entry {monotonic_ + delay, period, nextOrder_++, std::move(callback)}));
        return std::make_unique<Handle>(timers_.back());
    }
    // The wall clock moves along with the monotonic one.
    void moveTo(MonotonicTime time) {
        if (time <= monotonic_) return;
        wall_ += std::chrono::duration_cast<Timestamp::duration>(time - monotonic_);
        monotonic_ = time;
    }

    // Far from the epoch, so that no test subtracts its way below it.
    const MonotonicTime start_ {std::chrono::hours(1000)};
    MonotonicTime monotonic_ = start_;
    Timestamp wall_ = std::chrono::sys_days(std::chrono::year(2025) / 3 / 10) + std::chrono::hours(12);
    std::uint64_t nextOrder_ = 0;
    std::vector<std::shared_ptr<Entry>> timers_;
    std::deque<Job> jobs_;
};

}  // namespace brindle::testing
