#include "BrindleApp/qt/QtEventLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/qt/ProcessEvents.h"

namespace brindle::qt {
namespace {

using namespace std::chrono_literals;

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
    ASSERT_TRUE(testing::processEventsUntil([&] { return order.size() == 101; }, 5s));
    EXPECT_TRUE(allOnMain);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << "jobs ran out of order";
}

TEST(QtEventLoop, TimersFireUntilInvalidatedOrGoneAndHoldTheLongestInterval) {
    QtEventLoop loop;
    int repeats = 0, once = 0, keptOnce = 0, invalidatedOnce = 0, longest = 0;
    auto repeating = loop.scheduleRepeating(30ms, [&] { ++repeats; });
    std::unique_ptr<shell::Timer> oneShot = loop.scheduleOnce(30ms, [&] {
        ++once;
        oneShot.reset();  // as the shell does when a held-back completion runs
    });
    auto kept = loop.scheduleOnce(20ms, [&] { ++keptOnce; });
    auto invalidated = loop.scheduleOnce(20ms, [&] { ++invalidatedOnce; });
    auto longestTimer = loop.scheduleRepeating(loop.maximumTimerInterval(), [&] { ++longest; });
    invalidated->invalidate();
    testing::processEventsFor(10ms);
    EXPECT_EQ(repeats, 0) << "fired at once rather than one interval after scheduling";
    ASSERT_TRUE(testing::processEventsUntil([&] { return repeats >= 3; }, 5s));
    repeating->invalidate();
    const int atInvalidation = repeats;
    testing::processEventsFor(150ms);
    EXPECT_EQ(std::vector({repeats, once, keptOnce, invalidatedOnce, longest}), std::vector({atInvalidation, 1, 1, 0, 0}));
}

// The one-shot holds the progress indicator up for its minimum.
TEST(QtEventLoop, AOneShotNeverFiresEarly) {
    QtEventLoop loop;
    for (int run = 0; run < 8; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::chrono::steady_clock::duration waited {};
        auto timer = loop.scheduleOnce(100ms, [&] { waited = std::chrono::steady_clock::now() - start; });
        ASSERT_TRUE(testing::processEventsUntil([&] { return waited != std::chrono::steady_clock::duration {}; }, 5s));
        EXPECT_GE(waited, 100ms) << "run " << run;
    }
}

}  // namespace
}  // namespace brindle::qt
