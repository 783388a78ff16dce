#pragma once

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <functional>

namespace brindle::testing {

// Runs the Qt event loop until `done` or the time is up; false when the time ran out.
inline bool processEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

inline void processEventsFor(std::chrono::milliseconds duration) {
    processEventsUntil([] { return false; }, duration);
}

}  // namespace brindle::testing
