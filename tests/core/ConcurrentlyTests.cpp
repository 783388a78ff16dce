#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "BrindleCore/Concurrently.h"

namespace brindle {
namespace {

std::vector<std::function<void()>> counting(std::vector<std::atomic<int>>& runs) {
    std::vector<std::function<void()>> tasks;
    for (std::size_t i = 0; i < runs.size(); ++i) tasks.emplace_back([&runs, i] { ++runs[i]; });
    return tasks;
}

TEST(RunConcurrentlyTest, RunsEveryTaskOnceWhateverTheThreadCount) {
    for (unsigned threads : {0u, 1u, 2u, 8u}) {
        std::vector<std::atomic<int>> runs(25);
        runConcurrently(counting(runs), threads);
        for (const auto& count : runs) EXPECT_EQ(count, 1) << threads << " threads";
    }
    runConcurrently({}, 2);  // nothing to do is not an error
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
    try {
        runConcurrently(tasks, 2);
        ADD_FAILURE() << "no error came through";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "first");
    }
    EXPECT_EQ(finished, 2) << "a failure stopped the tasks after it";
}

}  // namespace
}  // namespace brindle
