#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "BrindleCore/FileLock.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PerformBackup.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ChildProcess.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;

TEST(FileLock, OneHolderAtATimeAndAWaitThatEnds) {
    TemporaryFolder temp;
    handOver(temp.path());
    const auto outcome = asUnprivilegedUser([&]() -> std::string {
        PosixFileManager files;
        const Path file = lockPathBeside(temp / "config/Brindle/settings.json", kRunLockName);
        if (file != temp / "config/Brindle/run.lock") return "the lock is not beside the settings";
        std::optional<FileLock> first = FileLock::acquire(files, file, 0ms);
        if (!first) return "the free lock was refused";
        if (FileLock::acquire(files, file, 0ms)) return "a second holder was let in";
        const std::string failure = failureOf<std::runtime_error>([&] { holdRunLock(files, file, 50ms); });
        if (failure.rfind("another backup is still running: its lock " + quotedPath(file.string()), 0) != 0)
            return "the run did not give up waiting as it should: " + failure;
        // A waiting holder gets the lock as soon as the first lets go.
        auto waiting = std::async(std::launch::async, [&] { return FileLock::acquire(files, file, 10s).has_value(); });
        if (waiting.wait_for(100ms) != std::future_status::timeout) return "the waiter did not wait";
        first.reset();
        if (!waiting.get()) return "the waiter did not get the lock";
        return "";
    });
    ASSERT_TRUE(outcome.available) << outcome.failure;
    EXPECT_EQ(outcome.failure, "");
}

}  // namespace
}  // namespace brindle::testing
