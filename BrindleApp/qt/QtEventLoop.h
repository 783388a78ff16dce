#pragma once

#include <QObject>

#include "BrindleApp/shell/EventLoop.h"

namespace brindle::qt {

// The shell's main-thread event loop on Qt's: jobs are queued invocations on an object
// of the main thread, timers are QTimers. Make it on the main thread, after the
// QApplication; it must outlive every run in progress (see TrayProgram).
class QtEventLoop final : public shell::EventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;

    void post(Job job) override;
    std::unique_ptr<shell::Timer> scheduleRepeating(std::chrono::milliseconds interval, Job callback) override;
    std::unique_ptr<shell::Timer> scheduleOnce(std::chrono::milliseconds delay, Job callback) override;
    // QTimer holds its interval in an int of milliseconds.
    std::chrono::milliseconds maximumTimerInterval() const override;

private:
    std::unique_ptr<shell::Timer> schedule(std::chrono::milliseconds interval, bool repeating, Job callback);

    // Lives on the main thread; a queued call to it runs there, in posting order.
    QObject receiver_;
};

}  // namespace brindle::qt
