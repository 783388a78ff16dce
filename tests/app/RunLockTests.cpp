#include <gtest/gtest.h>

#include <future>
#include <optional>

#include "BrindleApp/shell/BackupPerformer.h"
#include "BrindleCore/RunLock.h"
#include "tests/fakes/SandboxedFileManager.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;

// The real engine call of every trigger waits for a run of another Brindle process.
TEST(LockedBackupPerformer, WaitsWhileAnotherRunHoldsTheLock) {
    TemporaryFolder folder;
    PosixFileManager posix;
    SandboxedFileManager files(posix, folder / "home", folder / "config");
    makeFolder(folder / "home");
    const BackupSettings settings {(folder / "backups").string(), {}, 30};

    std::optional<RunLock> otherRun;
    otherRun.emplace(RunLock::defaultLockPath(files));
    auto performer = shell::lockedBackupPerformer(files);
    auto run = std::async(std::launch::async, [&] { return performer(settings); });

    // Not a measure of time: a run that ignored the lock would be done long before.
    EXPECT_EQ(run.wait_for(300ms), std::future_status::timeout);
    otherRun.reset();
    const BackupResult result = run.get();
    EXPECT_TRUE(posix.fileExists(result.latestURL));
}

}  // namespace
}  // namespace brindle::testing
