#pragma once

#include <functional>

namespace brindle::shell {

// Runs work concurrently with the main thread. The work must touch nothing of the
// main thread's; it hands its outcome back with EventLoop::post.
class BackgroundRunner {
public:
    using Work = std::function<void()>;

    virtual ~BackgroundRunner() = default;
    // Returns at once; `work` runs later on some other thread.
    virtual void start(Work work) = 0;
};

// One detached thread per piece of work. Quitting does not wait for a run in
// progress, so nothing joins these threads.
class ThreadBackgroundRunner final : public BackgroundRunner {
public:
    void start(Work work) override;
};

}  // namespace brindle::shell
