#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ProgramRunner.h"

// Permission faults are real only for a user the kernel checks, and CI runs as root,
// whom the kernel lets read anything. So the program runs as "nobody" through setpriv
// when the tests are root, and as the tests' own user otherwise.

namespace brindle {
namespace {

using testing::readFile;
using testing::runProgram;
using testing::TemporaryFolder;
using testing::treeOf;
using testing::writeFile;

constexpr uid_t kNobody = 65534;

class PermissionTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    Path home = temp / "home";
    Path config = temp / "config";
    Path root = temp / "backups";
    Path program = temp / "bin/brindle";

    void SetUp() override {
        if (geteuid() == 0 && access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "running as root without /usr/bin/setpriv: no unprivileged user to test permissions with";
        writeFile(home / ".codex/AGENTS.md", "Be kind.");
        writeFile(home / ".codex/rules/default.rules", "allow");
        writeFile(home / ".agents/skills/review/SKILL.md", "review");
        writeFile(home / ".agents/skills/deep/a/b/c/d/secret.bin", "secret");
        writeFile(home / ".agents/skills/deep/a/b/c/d/open.md", "open");
        writeFile(config / "Brindle/settings.json",
                  "{\"destinationRootPath\": \"" + root.string() +
                      "\", \"enabledItemIDs\": [\"codex-agents\", \"codex-rules\", \"agent-skills\"], "
                      "\"backupIntervalMinutes\": 30}");
        std::filesystem::create_directories(root);
        std::filesystem::create_directories(temp / "run");
        // The build folder may sit where the unprivileged user cannot reach it.
        std::filesystem::create_directories(program.parent_path());
        std::filesystem::copy_file(BRINDLE_BINARY, program);
        if (geteuid() == 0) {
            ASSERT_EQ(chmod(temp.path().c_str(), 0755), 0);
            ASSERT_EQ(lchown(temp.path().c_str(), kNobody, kNobody), 0);
            for (auto& entry : std::filesystem::recursive_directory_iterator(temp.path()))
                ASSERT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
        }
    }

    testing::ProgramOutcome backup() {
        std::map<std::string, std::string> environment{
            {"HOME", home.string()}, {"XDG_CONFIG_HOME", config.string()}, {"XDG_RUNTIME_DIR", (temp / "run").string()}};
        if (geteuid() != 0) return runProgram(program, {"backup"}, environment, temp.path());
        return runProgram("/usr/bin/setpriv",
                          {"--reuid=65534", "--regid=65534", "--clear-groups", "--", program.string(), "backup"},
                          environment, temp.path());
    }

    Path latest() {
        for (auto& entry : std::filesystem::directory_iterator(root)) return entry.path() / "latest";
        return root / "no machine folder";
    }
};

TEST_F(PermissionTest, AnUnreadableSourceFolderFailsOnlyItsItem) {
    ASSERT_EQ(chmod((home / ".codex/rules").c_str(), 0), 0);
    auto outcome = backup();
    chmod((home / ".codex/rules").c_str(), 0755);

    EXPECT_EQ(outcome.exitStatus, 3) << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find("  failed   Codex rules: "), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find((home / ".codex/rules").string()), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("permission was denied"), std::string::npos) << outcome.out;
    EXPECT_EQ(readFile(latest() / "Codex/AGENTS.md"), "Be kind.");
    EXPECT_EQ(readFile(latest() / "Agents/skills/deep/a/b/c/d/secret.bin"), "secret");
    EXPECT_FALSE(std::filesystem::exists(latest() / "Codex/rules/default.rules"));
}

TEST_F(PermissionTest, AnUnreadableFileDeepInATreeIsNamedAndTheRestIsKept) {
    const Path secret = home / ".agents/skills/deep/a/b/c/d/secret.bin";
    ASSERT_EQ(chmod(secret.c_str(), 0), 0);
    auto outcome = backup();
    chmod(secret.c_str(), 0644);

    EXPECT_EQ(outcome.exitStatus, 3) << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find("  failed   Agent skills: "), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find(secret.string()), std::string::npos) << "the message names the file itself: " << outcome.out;
    EXPECT_NE(outcome.out.find("permission was denied"), std::string::npos) << outcome.out;
    EXPECT_EQ(readFile(latest() / "Codex/AGENTS.md"), "Be kind.");
    EXPECT_EQ(readFile(latest() / "Codex/rules/default.rules"), "allow");
    EXPECT_EQ(readFile(secret), "secret") << "the source was changed";
}

TEST_F(PermissionTest, AReadOnlyBackupRootFailsTheRunAndLeavesItAlone) {
    ASSERT_EQ(chmod(root.c_str(), 0555), 0);
    const auto homeBefore = treeOf(home);
    auto outcome = backup();
    chmod(root.c_str(), 0755);

    EXPECT_EQ(outcome.exitStatus, 1) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.err.rfind("Backup failed: ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(root.string()), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("permission was denied"), std::string::npos) << outcome.err;
    EXPECT_TRUE(std::filesystem::is_empty(root));
    EXPECT_EQ(treeOf(home), homeBefore);
}

}  // namespace
}  // namespace brindle
