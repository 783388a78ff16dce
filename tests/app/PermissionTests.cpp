#include <sys/stat.h>

#include <thread>

#include "BrindleCore/FileLock.h"
#include "tests/app/ProgramFixture.h"

// `brindle backup` as an ordinary user sees the disk: as "nobody" when the tests are
// root (as in CI), whom the kernel would otherwise let read and remove anything.
namespace brindle::testing {
namespace {

class PermissionTest : public ProgramFixture {
protected:
    PermissionTest() : ProgramFixture(true, true) {}
};

// Read-only and unreadable folders and files never jam a run, its publishing, or the
// removal of old snapshots that hold them: run after run, every readable file is
// published, what became unreadable keeps its earlier copy, and nothing is left behind.
TEST_F(PermissionTest, ReadOnlyAndUnreadableSourcesBackUpRunAfterRun) {
    const Path skills = home / ".agents/skills";
    for (const auto* name : {"locked/SKILL.md", "private/notes.md", "closed.md", "read-only.md", "later.md"}) writeFile(skills / name, name);
    handOver(home);
    for (const auto& [name, mode] : std::vector<std::pair<std::string, unsigned>>{{"locked", 0555}, {"closed.md", 0}, {"read-only.md", 0444}})
        ASSERT_EQ(chmod((skills / name).c_str(), mode), 0);

    for (int run = 1; run <= 3; ++run) {
        const auto outcome = brindle({"backup"});
        EXPECT_EQ(outcome.exitStatus, 3) << "run " << run << ": " << outcome.out << outcome.err;
        const Path latest = machine() / "latest";
        EXPECT_EQ(readFile(latest / "Agents/skills/locked/SKILL.md"), "locked/SKILL.md") << run;
        EXPECT_EQ(readFile(latest / "Agents/skills/read-only.md"), "read-only.md") << run;
        EXPECT_EQ(readFile(latest / "Codex/rules/default.rules"), "allow") << run;
        EXPECT_EQ(std::filesystem::status(latest / "Agents/skills/locked").permissions(), std::filesystem::perms(0555))
            << "the source's bits are the published copy's";
        EXPECT_EQ(leftovers(), std::vector<std::string>{}) << "run " << run;
        // A folder and a file become unreadable after the first run; old snapshots holding
        // the same folders come for retention to remove.
        ASSERT_EQ(chmod((skills / "private").c_str(), 0), 0);
        ASSERT_EQ(chmod((skills / "later.md").c_str(), 0), 0);
        for (int day = 1; run == 1 && day <= 8; ++day) {
            const Path old = machine() / "Snapshots" / ("2020-01-0" + std::to_string(day));
            ASSERT_EQ(std::system(("cp -a '" + latest.string() + "' '" + old.string() + "'").c_str()), 0);
        }
    }
    // What became unreadable kept its copy from the first run, under the source's bits.
    ASSERT_EQ(std::system(("chmod -R u+rwx '" + (machine() / "latest").string() + "'").c_str()), 0);
    EXPECT_EQ(readFile(machine() / "latest/Agents/skills/private/notes.md"), "private/notes.md");
    EXPECT_EQ(readFile(machine() / "latest/Agents/skills/later.md"), "later.md");
    EXPECT_FALSE(std::filesystem::exists(machine() / "Snapshots/2020-01-02")) << "an old snapshot holding such folders stayed";
}

// A read-only root fails the run and is left alone. Every run of the user takes the same
// lock whatever its environment: one from cron or ssh, without XDG_RUNTIME_DIR, waits for the tray's.
TEST_F(PermissionTest, AReadOnlyRootFailsTheRunAndEveryRunOfTheUserTakesTheSameLock) {
    ASSERT_EQ(chmod(root.c_str(), 0555), 0);
    const auto outcome = brindle({"backup"});
    chmod(root.c_str(), 0755);
    EXPECT_EQ(outcome.exitStatus, 1) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.err.rfind("Backup failed: Could not create the folder \u201C" + root.string() + "/", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find("\u201D: permission was denied.\n"), std::string::npos) << outcome.err;
    EXPECT_TRUE(std::filesystem::is_empty(root));

    PosixFileManager files;
    const Path lockFile = config / "Brindle/run.lock";
    writeFile(lockFile, "");
    handOver(config);
    std::optional<FileLock> trayRun = FileLock::acquire(files, lockFile, std::chrono::milliseconds::zero());
    ASSERT_TRUE(trayRun.has_value());
    RunningProgram cronRun = start({"backup"}, {{"XDG_RUNTIME_DIR", ""}});
    // Not a measure of time: a run that ignored the lock would be done long before.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(cronRun.hasEnded()) << "the run did not wait for the one holding the lock";
    trayRun.reset();
    EXPECT_EQ(cronRun.wait().exitStatus, 0);
}

}  // namespace
}  // namespace brindle::testing
