#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "BrindleCore/Concurrently.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle {
namespace {

TEST(RunConcurrentlyTest, RunsEveryTaskOnceWhateverTheThreadCount) {
    for (unsigned threads : {0u, 1u, 2u, 8u}) {
        std::vector<std::atomic<int>> runs(25);
        std::vector<std::function<void()>> tasks;
        for (auto& count : runs) tasks.emplace_back([&count] { ++count; });
        runConcurrently(tasks, threads);
        for (const auto& count : runs) EXPECT_EQ(count, 1) << threads << " threads";
    }
}

TEST(RunConcurrentlyTest, TheEarliestTasksErrorIsRethrownAfterAllHaveRun) {
    // The later task fails first; what the caller sees must still be the earlier one.
    std::atomic<bool> laterFailed{false};
    std::atomic<int> finished{0};
    std::vector<std::function<void()>> tasks{
        [&] {
            while (!laterFailed) std::this_thread::yield();
            throw std::runtime_error("first");
        },
        [&] {
            laterFailed = true;
            throw std::runtime_error("second");
        },
        [&] { ++finished; },
        [&] { ++finished; },
    };
    EXPECT_EQ(testing::failureOf<std::runtime_error>([&] { runConcurrently(tasks, 2); }), "first");
    EXPECT_EQ(finished, 2) << "a failure stopped the tasks after it";
}

}  // namespace
}  // namespace brindle
