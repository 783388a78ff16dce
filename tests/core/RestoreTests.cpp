#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "BrindleCore/FileLock.h"
#include "BrindleCore/RestoreChanges.h"
#include "BrindleCore/Restorer.h"
#include "tests/core/EngineFixture.h"
#include "tests/fakes/DurabilityModel.h"
#include "tests/support/ChildProcess.h"

// A restore puts each item back whole or leaves it as it was, keeps what backups
// leave out exactly as it is, saves what it replaces first, and refuses, changing
// nothing, what it cannot do.
namespace brindle::testing {
namespace {

namespace fs = std::filesystem;

class RestoreTest : public EngineFixture {
protected:
    Path lock = temp / "run.lock";
    std::map<std::string, Tree> before;  // by item id

    void SetUp() override {
        EngineFixture::SetUp();
        makeLink("SKILL.md", home / ".codex/skills/pdf/link");
        writeFile(home / ".codex/skills/codex-primary-runtime/bin", "runtime");
        makeLink("bin", home / ".codex/skills/codex-primary-runtime/latest");
        chmod((home / ".codex/skills/pdf/scripts/run.sh").c_str(), 0750);
        // A dotfile manager's link: it stays a link, the content goes where it leads.
        writeFile(home / "dotfiles/config.toml", "config");
        fs::remove(home / ".codex/config.toml");
        makeLink("../dotfiles/config.toml", home / ".codex/config.toml");
        run(real, marchDay(19));
        writeFile(home / ".codex/AGENTS.md", "agents, newer");
        run(real, marchDay(20));
        // The user breaks things; what backups leave out changes too.
        writeFile(home / ".codex/AGENTS.md", "broken");
        writeFile(home / ".codex/skills/pdf/SKILL.md", "broken");
        writeFile(home / "dotfiles/config.toml", "broken");
        writeFile(home / ".codex/skills/extra/new.md", "new");
        fs::remove(home / ".codex/skills/pdf/link");
        writeFile(home / ".codex/skills/.system/x", "system, updated");
        writeFile(home / ".codex/automations/.run-jitter-salt", "salt 2");
        for (const auto& item : items) before[item.id] = attributedTreeOf(item.sourcePath);
        real.createDirectory(pristine);
        real.copyItem(home, pristine / "home");
        real.copyItem(root, pristine / "root");
    }
    void reset() {
        for (const auto* name : {"home", "root"}) {
            real.removeItem(temp / name);
            real.copyItem(pristine / name, temp / name);
        }
    }
    RestoreOutcome restore(FileManager& fileManager, const RestoreRequest& request = {}) {
        return performRestore(fileManager, machine, home, request, lock);
    }
    // The backup's copy of the item, with what the item's place held under its excluded
    // paths before: backups leave those out, and a restore keeps them as they are.
    Tree restoredFrom(const Path& backup, const BackupItem& item) {
        Tree tree = attributedTreeOf(appendingRelativePath(backup, item.destinationPath));
        for (const auto& [path, state] : before[item.id]) {
            for (const auto& excluded : item.excludedRelativePaths)
                if (isSameOrInside(path, excluded)) tree[path] = state;
        }
        return tree;
    }
    // "" when every item is as before or as restored, and nothing of a restore is left beside them.
    std::string problems(const std::map<std::string, Tree>& after) {
        for (const auto& item : items) {
            const Tree now = attributedTreeOf(item.sourcePath);
            if (now != before[item.id] && now != after.at(item.id)) return item.id + " is neither as before nor as restored";
        }
        for (const auto& folder : {home / ".codex", home / ".agents", home / "dotfiles"})
            for (const auto& name : namesIn(folder))
                if (name.rfind(".brindle-", 0) == 0) return "left " + name;
        return "";
    }
};

TEST_F(RestoreTest, PutsFilesAndFoldersBackFromLatestOrASnapshotKeepingWhatBackupsLeaveOut) {
    // No items named: every item the backup copied, which here is every item.
    for (const RestoreRequest& request : std::vector<RestoreRequest>{
             {"", {"codex-agents"}}, {"2025-03-19", {"codex-skills", "codex-agents"}}, {"latest", {}}}) {
        reset();
        restore(files, request);
        const Path from = request.backup == "2025-03-19" ? snapshots / request.backup : latest;
        for (const auto& item : items) {
            const auto& ids = request.itemIds;
            const bool restored = ids.empty() || std::count(ids.begin(), ids.end(), item.id) != 0;
            EXPECT_EQ(attributedTreeOf(item.sourcePath), restored ? restoredFrom(from, item) : before[item.id])
                << request.backup << " " << ids.size() << " " << item.id;
        }
        EXPECT_EQ(fs::read_symlink(home / ".codex/config.toml"), "../dotfiles/config.toml");
    }
}

TEST_F(RestoreTest, ADryRunSaysWhatWouldChange) {
    const auto plan = planRestore(files, machine, home, {"", {"codex-agents", "codex-skills"}});
    ASSERT_EQ(plan.items.size(), 2u);
    const auto agents = changesOfRestore(files, plan.items[0]);
    EXPECT_EQ(std::tie(agents.added, agents.changed, agents.removed, agents.first.at(0).path), std::make_tuple(0u, 1u, 0u, "AGENTS.md"));
    const auto skills = changesOfRestore(files, plan.items[1]);
    EXPECT_EQ(std::tie(skills.added, skills.changed, skills.removed), std::make_tuple(1u, 1u, 2u));
    std::string listed;
    for (const auto& change : skills.first) listed += std::string(kindName(change.kind)) + " " + change.path + "; ";
    EXPECT_EQ(listed, "removed extra/; removed extra/new.md; changed pdf/SKILL.md; added pdf/link; ");
    EXPECT_EQ(skills.kept, (std::vector<std::string>{".system", "codex-primary-runtime"}));
    EXPECT_EQ(changesOfRestore(files, plan.items[1], 1).first.size(), 1u);
}

TEST_F(RestoreTest, RefusesClearlyAndChangesNothing) {
    writeFile(snapshots / "2025-03-18/manifest.json", "{\"appName\": ");
    const Path elsewhere = temp / "elsewhere";
    real.copyItem(latest, elsewhere);
    auto manifest = backupManifestFromJson(readFile(latest / "manifest.json"));
    manifest.items[3].status = Status::failed;
    manifest.items[3].message = "The disk was on fire.";
    real.writeFileAtomically(elsewhere / "manifest.json", toJson(manifest));
    const Tree home0 = treeOf(home);
    const std::vector<std::pair<RestoreRequest, std::string>> cases{
        {{"2025-01-01", {}}, "There is no backup of 2025-01-01 in " + quotedPath(snapshots.string()) +
                                 ". The backups of this computer are: latest, 2025-03-20, 2025-03-19, 2025-03-18."},
        {{"", {"codex-skills", "skills"}}, "There is no item \u201Cskills\u201D. The items are: codex-automations, codex-agents, "
                                           "codex-config, codex-rules, codex-skills, agent-skills."},
        {{"2025-03-18", {}}, "The backup " + quotedPath((snapshots / "2025-03-18").string()) +
                                 " cannot be restored: its manifest could not be read. "},
        {{elsewhere.string(), {"codex-rules"}}, "The backup " + quotedPath(elsewhere.string()) +
                                                    " has no copy of codex-rules: it was recorded as failed. The disk was on fire."},
        {{(temp / "nowhere").string(), {}}, "There is no backup folder at " + quotedPath((temp / "nowhere").string()) + "."},
    };
    for (const auto& [request, message] : cases)
        EXPECT_EQ(failureOf<RestoreRefused>([&] { restore(files, request); }).substr(0, message.size()), message);
    EXPECT_EQ(treeOf(home), home0);
    EXPECT_FALSE(fs::exists(machine / "Undo"));

    // Another run holding the lock past the wait, as the unprivileged user.
    handOver(temp.path());
    const auto outcome = asUnprivilegedUser([&]() -> std::string {
        PosixFileManager files;
        const auto held = FileLock::acquire(files, lock, std::chrono::milliseconds(0));
        const std::string failure =
            failureOf<std::runtime_error>([&] { performRestore(files, machine, home, {}, lock, std::chrono::milliseconds(50)); });
        if (failure.rfind("another backup is still running: its lock " + quotedPath(lock.string()), 0) != 0)
            return "not refused for the lock: " + failure;
        return treeOf(home) == home0 && !fs::exists(machine / "Undo") ? "" : "changed something";
    });
    ASSERT_TRUE(outcome.available) << outcome.failure;
    EXPECT_EQ(outcome.failure, "");
}

class InterruptedRestoreTest : public RestoreTest, public ::testing::WithParamInterface<bool> {};

// Failed at any call, or stopped after any call and then put right by the next restore
// or backup run, a restore leaves each item whole; once it succeeds, what it wrote is
// on stable storage.
TEST_P(InterruptedRestoreTest, LeavesEachItemWholeWhateverCallFailsOrStopsIt) {
    std::map<std::string, Tree> after;
    FaultInjectingFileManager counting(real, GetParam());
    DurabilityModel model(counting, machine);
    std::vector<Path> written{restore(model).undo};
    for (const auto& item : items) {
        after[item.id] = attributedTreeOf(item.sourcePath);
        written.push_back(fs::canonical(item.sourcePath));  // where a linked source's content went
    }
    model.expectDurable(written);
    EXPECT_EQ(model.breaches(), std::vector<std::string>{});
    const std::size_t calls = counting.callCount();
    ASSERT_GT(calls, 50u);
    std::printf("a restore of every item makes %zu calls\n", calls);  // quoted in the README
    for (std::size_t call = 0; call < calls; ++call) {
        for (const bool crash : {false, true}) {
            reset();
            FaultInjectingFileManager faulty(real, GetParam());
            if (crash)
                faulty.crashAfter = call;
            else
                faulty.failingCall = {call, EIO};
            const std::string label = (crash ? "stopped after call " : "call ") + std::to_string(call) + " failing";
            try {
                restore(faulty);
            } catch (const SimulatedCrash&) {
            } catch (const std::exception& error) {  // an error ends a restore before it changes any item
                EXPECT_NE(std::string(error.what()).find('/'), std::string::npos) << error.what();
                for (const auto& item : items) EXPECT_EQ(attributedTreeOf(item.sourcePath), before[item.id]) << label << item.id;
            }
            if (call % 2 == 0) {
                for (const auto& entry : run(real, marchDay(21)).manifest.items)
                    EXPECT_EQ(entry.status, Status::copied) << label << ": the backup after it lacks " << entry.id;
            } else {
                // What the next restore puts right is on stable storage once it returns.
                DurabilityModel next(real, machine);
                restore(next, {"", {"codex-rules"}});
                next.expectDurable(written);
                EXPECT_EQ(next.breaches(), std::vector<std::string>{}) << label;
            }
            EXPECT_EQ(problems(after), "") << label;
            if (HasFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Swap, InterruptedRestoreTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WithoutExchange" : "WithExchange"; });

}  // namespace
}  // namespace brindle::testing
