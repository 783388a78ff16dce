#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace brindle::shell {

// A scheduled timer. Destroying the handle invalidates the timer as well.
class Timer {
public:
    virtual ~Timer() = default;
    // After this the callback never runs again, even if its time has come.
    virtual void invalidate() = 0;
};

// The main thread's event loop, which runs every job and timer callback of the shell.
class EventLoop {
public:
    using Job = std::function<void()>;

    virtual ~EventLoop() = default;

    // Queues `job` to run on the main thread after the jobs queued before it. Safe to
    // call from any thread; never runs the job before returning.
    virtual void post(Job job) = 0;

    // Calls `callback` on the main thread every `interval`, the first time one
    // interval from now, until the timer is invalidated. `interval` never exceeds
    // maximumTimerInterval().
    virtual std::unique_ptr<Timer> scheduleRepeating(std::chrono::milliseconds interval, Job callback) = 0;
    // Calls `callback` once on the main thread after `delay` (never sooner on the
    // monotonic clock), unless invalidated first.
    virtual std::unique_ptr<Timer> scheduleOnce(std::chrono::milliseconds delay, Job callback) = 0;

    // The longest interval the platform's timers can hold without overflowing.
    virtual std::chrono::milliseconds maximumTimerInterval() const = 0;
};

}  // namespace brindle::shell
