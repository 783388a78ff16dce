#include "BrindleApp/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace brindle::qt {
namespace {

using namespace std::chrono_literals;

// Runs the Qt event loop until `done` or the time is up.
template <typename Predicate>
bool processEventsUntil(Predicate done, std::chrono::milliseconds limit = 5000ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > limit.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void processEventsFor(std::chrono::milliseconds duration) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < duration.count()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(QtEventLoop, RunsPostedJobsLaterAndInOrder) {
    QtEventLoop loop;
    std::vector<int> order;
    loop.post([&] { order.push_back(1); });
    loop.post([&] {
        order.push_back(2);
        loop.post([&] { order.push_back(4); });
    });
    loop.post([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty()) << "a job ran before post returned";
    ASSERT_TRUE(processEventsUntil([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(QtEventLoop, JobsPostedFromAnotherThreadRunOnTheMainThread) {
    QtEventLoop loop;
    const auto mainThread = std::this_thread::get_id();
    std::vector<int> seen;
    bool allOnMain = true;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            loop.post([&, i] {
                allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
                seen.push_back(i);
            });
        }
    });
    worker.join();
    ASSERT_TRUE(processEventsUntil([&] { return seen.size() == 100; }));
    EXPECT_TRUE(allOnMain);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST(QtEventLoop, RepeatingTimerFiresEveryIntervalUntilInvalidated) {
    QtEventLoop loop;
    int firings = 0;
    QElapsedTimer since;
    since.start();
    qint64 first = -1;
    auto timer = loop.scheduleRepeating(50ms, [&] {
        if (first < 0) first = since.elapsed();
        ++firings;
    });
    EXPECT_EQ(firings, 0) << "fired at once";
    ASSERT_TRUE(processEventsUntil([&] { return firings >= 3; }));
    EXPECT_GE(first, 40) << "the first firing comes one interval after scheduling";
    timer->invalidate();
    const int atInvalidation = firings;
    processEventsFor(200ms);
    EXPECT_EQ(firings, atInvalidation);
}

TEST(QtEventLoop, DestroyingTheHandleStopsTheTimer) {
    QtEventLoop loop;
    int firings = 0;
    auto timer = loop.scheduleRepeating(20ms, [&] { ++firings; });
    ASSERT_TRUE(processEventsUntil([&] { return firings >= 1; }));
    timer.reset();
    const int atReset = firings;
    processEventsFor(150ms);
    EXPECT_EQ(firings, atReset);
}

TEST(QtEventLoop, OneShotFiresOnceAndMayDestroyItsOwnHandle) {
    QtEventLoop loop;
    int firings = 0;
    std::unique_ptr<shell::Timer> timer;
    timer = loop.scheduleOnce(30ms, [&] {
        ++firings;
        timer.reset();  // as the shell does when a held-back completion runs
    });
    ASSERT_TRUE(processEventsUntil([&] { return firings == 1; }));
    processEventsFor(150ms);
    EXPECT_EQ(firings, 1);
    EXPECT_EQ(timer, nullptr);
}

TEST(QtEventLoop, InvalidatedOneShotNeverFires) {
    QtEventLoop loop;
    int firings = 0;
    auto timer = loop.scheduleOnce(20ms, [&] { ++firings; });
    timer->invalidate();
    processEventsFor(120ms);
    EXPECT_EQ(firings, 0);
}

TEST(QtEventLoop, TimersHoldAsLongAsAQtTimerCan) {
    QtEventLoop loop;
    EXPECT_EQ(loop.maximumTimerInterval(), std::chrono::milliseconds(std::numeric_limits<int>::max()));
    int firings = 0;
    auto timer = loop.scheduleRepeating(loop.maximumTimerInterval(), [&] { ++firings; });
    processEventsFor(50ms);
    EXPECT_EQ(firings, 0) << "the longest interval overflowed into a short one";
}

}  // namespace
}  // namespace brindle::qt
