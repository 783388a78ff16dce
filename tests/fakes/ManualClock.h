#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "BrindleApp/shell/Clock.h"
#include "BrindleApp/shell/EventLoop.h"
#include "tests/fakes/Journal.h"

namespace brindle::testing {

// The main thread's event loop and both clocks, moved only by the test. Time passes
// in advance(): each timer that comes due fires at its own moment, in order, and the
// jobs it posts run before the next one fires. The wall clock follows the monotonic
// one unless the test sets it apart, as a user changing the system time would.
class ManualClock final : public shell::Clock, public shell::EventLoop {
public:
    explicit ManualClock(Journal& journal);

    Timestamp wallNow() override { return wall_; }
    MonotonicTime monotonicNow() override { return monotonic_; }

    void post(Job job) override { jobs_.push_back(std::move(job)); }
    std::unique_ptr<shell::Timer> scheduleRepeating(std::chrono::milliseconds interval, Job callback) override;
    std::unique_ptr<shell::Timer> scheduleOnce(std::chrono::milliseconds delay, Job callback) override;
    std::chrono::milliseconds maximumTimerInterval() const override { return maximumInterval; }

    // Qt's limit: a signed 32-bit count of milliseconds.
    std::chrono::milliseconds maximumInterval {2'147'483'647};

    void advance(std::chrono::milliseconds by);
    // Fires due timers without running the jobs they post, to line up races.
    void advanceWithoutRunningJobs(std::chrono::milliseconds by);
    void runPendingJobs();
    std::size_t pendingJobCount() const { return jobs_.size(); }

    void moveWallClock(Timestamp::duration by) { wall_ += by; }
    void setWallClock(Timestamp time) { wall_ = time; }
    // Time passed on the monotonic clock since construction.
    std::chrono::milliseconds elapsed() const;
    // Intervals of the repeating timers still active, oldest first.
    std::vector<std::chrono::milliseconds> activeRepeatingIntervals() const;

private:
    struct TimerState {
        std::chrono::milliseconds interval;
        MonotonicTime due;
        bool repeating;
        bool active = true;
        std::uint64_t order;
        Job callback;
    };
    class ManualTimer;

    std::unique_ptr<shell::Timer> schedule(std::chrono::milliseconds interval, bool repeating, Job callback);
    void advance(std::chrono::milliseconds by, bool runJobs);
    void moveTo(MonotonicTime time);

    Journal& journal_;
    MonotonicTime start_;
    MonotonicTime monotonic_;
    Timestamp wall_;
    std::uint64_t nextOrder_ = 0;
    std::vector<std::shared_ptr<TimerState>> timers_;
    std::deque<Job> jobs_;
};

}  // namespace brindle::testing
