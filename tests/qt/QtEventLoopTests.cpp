#include "BrindleApp/qt/QtEventLoop.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace brindle::qt {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Runs the Qt event loop until `done` or the time is up.
template <typename Predicate>
bool processEventsUntil(Predicate done, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void processEventsFor(std::chrono::milliseconds duration) {
    processEventsUntil([] { return false; }, duration);
}

TEST(QtEventLoop, RunsPostedJobsLaterInOrderOnTheMainThreadFromAnyThread) {
    QtEventLoop loop;
    const auto mainThread = std::this_thread::get_id();
    std::vector<int> order;
    bool allOnMain = true;
    loop.post([&] { loop.post([&] { order.push_back(1000); }); });
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            loop.post([&, i] {
                allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
                order.push_back(i);
            });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "a job ran before post returned";
    ASSERT_TRUE(processEventsUntil([&] { return order.size() == 101; }));
    EXPECT_TRUE(allOnMain);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << "jobs ran out of order";
}

TEST(QtEventLoop, TimersFireUntilInvalidatedOrGone) {
    QtEventLoop loop;
    int repeats = 0, dropped = 0, once = 0, invalidatedOnce = 0;
    auto repeating = loop.scheduleRepeating(30ms, [&] { ++repeats; });
    auto droppedTimer = loop.scheduleRepeating(20ms, [&] { ++dropped; });
    std::unique_ptr<shell::Timer> oneShot = loop.scheduleOnce(30ms, [&] {
        ++once;
        oneShot.reset();  // as the shell does when a held-back completion runs
    });
    auto invalidated = loop.scheduleOnce(20ms, [&] { ++invalidatedOnce; });
    invalidated->invalidate();
    droppedTimer.reset();
    processEventsFor(10ms);
    EXPECT_EQ(repeats, 0) << "fired at once rather than one interval after scheduling";
    ASSERT_TRUE(processEventsUntil([&] { return repeats >= 3; }));
    repeating->invalidate();
    const int atInvalidation = repeats;
    processEventsFor(150ms);
    EXPECT_EQ(std::vector({repeats, dropped, once, invalidatedOnce}), std::vector({atInvalidation, 0, 1, 0}));
}

TEST(QtEventLoop, AOneShotNeverFiresEarly) {
    QtEventLoop loop;
    for (int run = 0; run < 8; ++run) {
        const auto start = Clock::now();
        Clock::duration waited {};
        auto timer = loop.scheduleOnce(100ms, [&] { waited = Clock::now() - start; });
        ASSERT_TRUE(processEventsUntil([&] { return waited != Clock::duration {}; }));
        EXPECT_GE(waited, 100ms) << "run " << run;
    }
}

TEST(QtEventLoop, TimersHoldAsLongAsAQtTimerCan) {
    QtEventLoop loop;
    int firings = 0;
    auto timer = loop.scheduleRepeating(loop.maximumTimerInterval(), [&] { ++firings; });
    processEventsFor(50ms);
    EXPECT_EQ(firings, 0) << "the longest interval overflowed into a short one";
}

}  // namespace
}  // namespace brindle::qt
