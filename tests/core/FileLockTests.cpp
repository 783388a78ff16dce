#include <gtest/gtest.h>

#include <chrono>

#include "BrindleCore/FileLock.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/PerformBackup.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ChildProcess.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;

TEST(FileLock, AHeldLockEndsTheWaitOfARunNamingTheLock) {
    TemporaryFolder temp;
    handOver(temp.path());
    const auto outcome = asUnprivilegedUser([&]() -> std::string {
        PosixFileManager files;
        const Path file = lockPathBeside(temp / "config/Brindle/settings.json", kRunLockName);
        const auto held = FileLock::acquire(files, file, 0ms);  // another run
        const std::string failure = failureOf<std::runtime_error>([&] { holdRunLock(files, file, 50ms); });
        if (failure.rfind("another backup is still running: its lock " + quotedPath(file.string()), 0) != 0)
            return "the run did not give up waiting as it should: " + failure;
        return "";
    });
    ASSERT_TRUE(outcome.available) << outcome.failure;
    EXPECT_EQ(outcome.failure, "");
}

}  // namespace
}  // namespace brindle::testing
