#pragma once

#include <chrono>

#include "BrindleCore/BackupManifest.h"

namespace brindle::shell {

// The two clocks the shell reads. Wall time dates things for the user (the age of
// the last backup); monotonic time measures durations, so that the user setting the
// system clock back or forward never stretches or cuts one.
class Clock {
public:
    using MonotonicTime = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual Timestamp wallNow() = 0;
    virtual MonotonicTime monotonicNow() = 0;
};

// The system's clocks.
class SystemClock final : public Clock {
public:
    Timestamp wallNow() override { return std::chrono::system_clock::now(); }
    MonotonicTime monotonicNow() override { return std::chrono::steady_clock::now(); }
};

}  // namespace brindle::shell
