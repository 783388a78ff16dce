#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <gtest/gtest.h>

#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileLock.h"
#include "BrindleCore/FileSystemError.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramRunner.h"

// `brindle backup` as an ordinary user sees the disk: as "nobody" when the tests are
// root (as in CI), whom the kernel would otherwise let read and remove anything.
namespace brindle::testing {
namespace {

class PermissionTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    Path home = temp / "home";
    Path config = temp / "config";
    Path root = temp / "backups";
    Path program = temp / "bin/brindle";

    void SetUp() override {
        if (unprivilegedUser().isOther && access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "running as root without /usr/bin/setpriv: no unprivileged user to test permissions with";
        writeFile(home / ".codex/AGENTS.md", "Be kind.");
        for (const auto* name : {"a", "b", "c", "d", "e"}) writeFile(home / ".codex/rules" / (std::string(name) + ".rules"), name);
        writeFile(home / ".agents/skills/review/SKILL.md", "review");
        writeFile(home / ".agents/skills/deep/a/b/c/d/secret.bin", "secret");
        writeFile(config / "Brindle/settings.json",
                  toJson(BackupSettings{root.string(), {"codex-agents", "codex-rules", "agent-skills"}, 30}));
        makeFolder(root);
        // The build folder may sit where the unprivileged user cannot reach it.
        makeFolder(program.parent_path());
        std::filesystem::copy_file(BRINDLE_BINARY, program);
        chmod(temp.path().c_str(), 0755);
        handOver(temp.path());
    }

    ProgramOutcome backup() {
        const auto command = unprivilegedCommand(program, {"backup"});
        return runProgram(command.front(), {command.begin() + 1, command.end()},
                          {{"HOME", home.string()}, {"XDG_CONFIG_HOME", config.string()}}, temp.path());
    }
    Path machine() {
        for (auto& entry : std::filesystem::directory_iterator(root)) return entry.path();
        return root / "no machine folder";
    }
    // The tree as its owner would see it after opening every folder of it.
    Tree openedTree(const Path& folder) {
        for (auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (entry.is_directory() && !entry.is_symlink()) chmod(entry.path().c_str(), 0755);
        }
        return treeOf(folder);
    }
};

TEST_F(PermissionTest, AnUnreadableSourceFolderFailsOnlyItsItem) {
    ASSERT_EQ(chmod((home / ".codex/rules").c_str(), 0), 0);
    const auto outcome = backup();
    chmod((home / ".codex/rules").c_str(), 0755);

    EXPECT_EQ(outcome.exitStatus, 3) << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find("  failed   Codex rules: Could not open the folder " + quotedPath((home / ".codex/rules").string()) +
                               ": permission was denied.\n"),
              std::string::npos)
        << outcome.out;
    EXPECT_EQ(readFile(machine() / "latest/Codex/AGENTS.md"), "Be kind.");
    EXPECT_EQ(readFile(machine() / "latest/Agents/skills/deep/a/b/c/d/secret.bin"), "secret");
    EXPECT_FALSE(std::filesystem::exists(machine() / "latest/Codex/rules"));
}

// One file made unreadable keeps its copy from the previous backup, in latest and in
// the day's snapshot; the other four are copied anew.
TEST_F(PermissionTest, AnUnreadableFileKeepsItsEarlierCopyAndIsNamed) {
    ASSERT_EQ(backup().exitStatus, 0);
    writeFile(home / ".codex/rules/a.rules", "a, changed");
    const Path secret = home / ".codex/rules/c.rules";
    ASSERT_EQ(chmod(secret.c_str(), 0), 0);
    const auto outcome = backup();
    chmod(secret.c_str(), 0644);

    EXPECT_EQ(outcome.exitStatus, 3) << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find("  failed   Codex rules: Could not copy " + quotedPath(secret.string()) +
                               ": permission was denied. Its copy from the previous backup was kept.\n"),
              std::string::npos)
        << outcome.out;
    const Tree rules{{"a.rules", "a, changed"}, {"b.rules", "b"}, {"c.rules", "c"}, {"d.rules", "d"}, {"e.rules", "e"}};
    EXPECT_EQ(treeOf(machine() / "latest/Codex/rules"), rules);
    for (auto& snapshot : std::filesystem::directory_iterator(machine() / "Snapshots"))
        EXPECT_EQ(treeOf(snapshot.path() / "Codex/rules"), rules);
    EXPECT_EQ(readFile(secret), "c") << "the source was changed";
}

// Read-only and unreadable folders and files never jam a run, its publishing, or the
// removal of old snapshots that hold them: run after run, every readable file is
// published and nothing is left behind.
TEST_F(PermissionTest, ReadOnlyAndUnreadableSourcesBackUpRunAfterRun) {
    writeFile(home / ".agents/skills/locked/SKILL.md", "locked");
    writeFile(home / ".agents/skills/private/notes.md", "private");
    writeFile(home / ".agents/skills/closed.md", "closed");
    writeFile(home / ".agents/skills/read-only.md", "read-only");
    for (const auto& [name, mode] : std::vector<std::pair<std::string, unsigned>>{
             {"locked", 0555}, {"private", 0}, {"closed.md", 0}, {"read-only.md", 0444}})
        ASSERT_EQ(chmod((home / ".agents/skills" / name).c_str(), mode), 0);

    for (int runNumber = 1; runNumber <= 3; ++runNumber) {
        const auto outcome = backup();
        EXPECT_EQ(outcome.exitStatus, 3) << "run " << runNumber << ": " << outcome.out << outcome.err;
        const Path latest = machine() / "latest";
        EXPECT_EQ(readFile(latest / "Agents/skills/locked/SKILL.md"), "locked") << runNumber;
        EXPECT_EQ(readFile(latest / "Agents/skills/read-only.md"), "read-only") << runNumber;
        EXPECT_EQ(readFile(latest / "Agents/skills/deep/a/b/c/d/secret.bin"), "secret") << runNumber;
        EXPECT_EQ(readFile(latest / "Codex/rules/e.rules"), "e") << runNumber;
        struct stat status {};
        stat((latest / "Agents/skills/locked").c_str(), &status);
        EXPECT_EQ(status.st_mode & 07777, 0555u) << "the source's bits are the published copy's";
        std::set<std::string> names;
        for (auto& entry : std::filesystem::directory_iterator(machine())) names.insert(entry.path().filename());
        EXPECT_EQ(names, (std::set<std::string>{"Snapshots", "latest"})) << "run " << runNumber << " left something";
        // Old snapshots holding the same folders, for retention to remove.
        if (runNumber == 1) {
            for (int day = 1; day <= 8; ++day) {
                const Path old = machine() / "Snapshots" / ("2020-01-0" + std::to_string(day));
                ASSERT_EQ(std::system(("cp -a '" + latest.string() + "' '" + old.string() + "'").c_str()), 0);
            }
        }
    }
    std::set<std::string> snapshots;
    for (auto& entry : std::filesystem::directory_iterator(machine() / "Snapshots")) snapshots.insert(entry.path().filename());
    EXPECT_EQ(snapshots.size(), 7u);
    EXPECT_EQ(snapshots.count("2020-01-01"), 0u);
    EXPECT_EQ(snapshots.count("2020-01-02"), 0u);
    EXPECT_EQ(openedTree(machine() / "latest").count("Agents/skills/private"), 1u);
}

TEST_F(PermissionTest, AReadOnlyBackupRootFailsTheRunAndLeavesItAlone) {
    ASSERT_EQ(chmod(root.c_str(), 0555), 0);
    const auto homeBefore = treeOf(home);
    const auto outcome = backup();
    chmod(root.c_str(), 0755);

    EXPECT_EQ(outcome.exitStatus, 1) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.err.rfind("Backup failed: Could not create the folder \u201C" + root.string() + "/", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find("\u201D: permission was denied.\n"), std::string::npos) << outcome.err;
    EXPECT_TRUE(std::filesystem::is_empty(root));
    EXPECT_EQ(treeOf(home), homeBefore);
}

// Every process of the user takes the same run lock, whatever its environment: a run
// from cron or ssh, without XDG_RUNTIME_DIR, waits for the tray's.
TEST_F(PermissionTest, EveryRunOfTheUserTakesTheSameLockWhateverItsEnvironment) {
    PosixFileManager files;
    const Path lockFile = config / "Brindle/run.lock";
    writeFile(lockFile, "");
    handOver(config);
    std::optional<FileLock> trayRun = FileLock::acquire(files, lockFile, std::chrono::milliseconds::zero());
    ASSERT_TRUE(trayRun.has_value());
    const auto command = unprivilegedCommand(program, {"backup"});
    RunningProgram cronRun(command.front(), {command.begin() + 1, command.end()},
                           {{"HOME", home.string()}, {"XDG_CONFIG_HOME", config.string()}, {"XDG_RUNTIME_DIR", ""}},
                           temp.path());
    // Not a measure of time: a run that ignored the lock would be done long before.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(cronRun.hasEnded()) << "the run did not wait for the one holding the lock";
    trayRun.reset();
    const auto outcome = cronRun.wait();
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.out << outcome.err;
}

}  // namespace
}  // namespace brindle::testing
