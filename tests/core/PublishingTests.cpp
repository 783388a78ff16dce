#include <cerrno>
#include <cstdio>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/Publisher.h"
#include "tests/core/EngineFixture.h"
#include "tests/fakes/DurabilityModel.h"

// A backup is never half there: not when any file-system call fails, not when the
// process dies after any step, not when the power goes at any moment; and the next run
// puts right what was left, never removing the only whole copy of a backup.
namespace brindle::testing {
namespace {

class PublishingTest : public EngineFixture, public ::testing::WithParamInterface<bool> {
protected:
    Tree latestBefore;
    std::map<std::string, Tree> snapshotsBefore;

    void SetUp() override {
        EngineFixture::SetUp();
        for (int d = 12; d <= 19; ++d) run(real, marchDay(d));
        makeFolder(machine / "latest 2/Codex");
        makeFolder(snapshots / "2025-03-19 2");
    }

    // The state every faulty run starts from, and where the root is left: `earlierRunToday`
    // adds a backup of the same day, which the run replaces.
    void keepState(bool earlierRunToday) {
        if (earlierRunToday) run(real, marchDay(20, 9));
        writeFile(home / ".codex/AGENTS.md", earlierRunToday ? "agents, later" : "agents, changed");
        if (real.examine(pristine).exists()) real.removeItem(pristine);
        real.copyItem(root, pristine);
        latestBefore = treeOf(latest);
        snapshotsBefore.clear();
        for (const auto& name : namesIn(snapshots)) snapshotsBefore[name] = treeOf(snapshots / name);
        restoreState();  // so that every run, the counting one too, starts from the same copy
    }
    void restoreState() {
        real.removeItem(root);
        real.copyItem(pristine, root);
    }
    bool isWholeNew(const Tree& backup) { return problemsOfNewBackup(backup, latestBefore).empty(); }

    // Each published backup is whole: what it was before, or the new one.
    std::string checkBackups() {
        if (!real.examine(latest).exists()) return "latest is gone";
        if (snapshotsBefore.count(snapshotFolderName(marchDay(20))) != 0 && !real.examine(snapshotOf(marchDay(20))).exists())
            return "the day's snapshot is gone";
        const Tree now = treeOf(latest);
        if (now != latestBefore && !isWholeNew(now)) return "latest: " + problemsOfNewBackup(now, latestBefore);
        for (const auto& name : namesIn(snapshots)) {
            if (name.front() == '.') continue;  // what a failed removal left, for the next run
            const Tree snapshot = treeOf(snapshots / name);
            const auto before = snapshotsBefore.find(name);
            if ((before == snapshotsBefore.end() || before->second != snapshot) && !isWholeNew(snapshot))
                return "snapshot " + name + ": " + problemsOfNewBackup(snapshot, latestBefore);
        }
        return "";
    }
    std::string checkNothingLeft() {
        for (const auto& folder : {machine, snapshots})
            for (const auto& name : namesIn(folder))
                if (name.front() == '.') return "left " + (folder / name).string();
        return "";
    }
};

// Each call of a run fails in one run and is the last before a crash in another. The
// run after a crash fails right after it has put things right, as a second crash or a
// full disk would make it: what it found must already be whole by then.
TEST_P(PublishingTest, EveryFailingCallOrCrashLeavesEveryBackupWholeAndTheNextRunPutsItRight) {
    std::size_t faultyRuns = 0, errors = 0;
    for (bool earlierRunToday : {false, true}) {
        keepState(earlierRunToday);
        FaultInjectingFileManager counting(real, GetParam());
        run(counting);
        for (std::size_t call = 0; call < counting.callCount(); ++call, ++faultyRuns) {
            restoreState();
            FaultInjectingFileManager failing(real, GetParam());
            // The engine treats every failure alike, whatever its errno: one is enough.
            failing.failingCall = {call, EIO};
            std::string label = (earlierRunToday ? "same day, call " : "call ") + std::to_string(call);
            try {
                for (const auto& entry : run(failing).manifest.items)
                    EXPECT_NE(entry.message.value_or("/").find('/'), std::string::npos) << label << ": " << *entry.message;
            } catch (const std::exception& error) {
                ++errors;
                EXPECT_NE(std::string(error.what()).find('/'), std::string::npos) << label << ": " << error.what();
            }
            EXPECT_EQ(checkBackups(), "") << label;
            run(real);
            EXPECT_TRUE(isWholeNew(treeOf(latest)) && isWholeNew(treeOf(snapshotOf(marchDay(20))))) << label;
            EXPECT_EQ(checkNothingLeft(), "") << label;

            restoreState();
            FaultInjectingFileManager crashing(real, GetParam());
            crashing.crashAfter = call;
            try {
                run(crashing);
            } catch (...) {  // the crash, or an error an earlier step saw
            }
            FaultInjectingFileManager next(real, GetParam());
            next.failWhen("createDirectory", "/.staging-", EIO);
            std::string removedOnlyCopy;
            next.beforeEach = [&](const std::string& operation, const Path& path) {
                if (operation != "removeItem" || !removedOnlyCopy.empty() || !real.examine(path).exists()) return;
                const bool latestWhole =
                    real.examine(latest).exists() && (treeOf(latest) == latestBefore || isWholeNew(treeOf(latest)));
                if (!latestWhole && treeOf(path) == latestBefore) removedOnlyCopy = path.string();
            };
            label = (earlierRunToday ? "same day, crash after call " : "crash after call ") + std::to_string(call);
            EXPECT_THROW(run(next), FileSystemError) << label;
            EXPECT_EQ(removedOnlyCopy, "") << label << ": removed the only whole copy of the earlier backup";
            EXPECT_EQ(checkBackups(), "") << label;
            EXPECT_EQ(checkNothingLeft(), "") << label;
            run(real);
            EXPECT_TRUE(isWholeNew(treeOf(latest))) << label;
            if (HasFailure()) return;  // one broken fault point is enough to read
        }
    }
    EXPECT_GT(errors, 0u);
    // The README's reliability table quotes these figures.
    std::printf("fault points: %zu faulty runs, %zu of them ended with an error\n", faultyRuns, errors);
}

TEST_P(PublishingTest, APowerCutAtAnyMomentLeavesEveryBackupWholeAndSuccessIsDurable) {
    // A new day, a second run of the day, and a first run ever, where every folder on
    // the way to the backups is new.
    for (const char* state : {"new day", "same day", "first run"}) {
        keepState(state == std::string("same day"));
        if (state == std::string("first run")) real.removeItem(root);
        FaultInjectingFileManager exchange(real, GetParam());
        DurabilityModel model(exchange, machine);
        run(model);
        model.expectDurable({latest, snapshotOf(marchDay(20))});
        EXPECT_EQ(model.breaches(), std::vector<std::string>{}) << state;
    }
}

INSTANTIATE_TEST_SUITE_P(Swap, PublishingTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WithoutExchange" : "WithExchange"; });

// Only here: a day's name holds dashes, as the id does; an aside naming no target is kept.
TEST(Recovery, PutsBackWhatWasSetAsideAndKeepsWhatItCannotPlace) {
    TemporaryFolder temp;
    PosixFileManager real;
    const Path snapshots = temp / "Snapshots";
    const std::string id = "0123456789ABCDEF0123456789ABCDEF0123";
    writeFile(snapshots / (".unpublishing-2025-03-20-" + id) / "manifest.json", "old day");
    writeFile(snapshots / (".unpublishing-" + id) / "manifest.json", "target unknown");

    recoverInterruptedPublishing(real, snapshots);

    EXPECT_EQ(treeOf(snapshots), (Tree{{"2025-03-20", "<dir>"},
                                       {"2025-03-20/manifest.json", "old day"},
                                       {".unpublishing-" + id, "<dir>"},
                                       {".unpublishing-" + id + "/manifest.json", "target unknown"}}));
}

}  // namespace
}  // namespace brindle::testing
