#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "BrindleCore/BackupServiceError.h"
#include "tests/core/EngineFixture.h"
#include "tests/support/ChildProcess.h"

namespace brindle::testing {
namespace {

using namespace std::chrono;

class ReliabilityTest : public EngineFixture {};

TEST_F(ReliabilityTest, OddSourceTreesAreCopiedOrFailLoudly) {
    const Path skills = home / ".agents/skills";
    writeFile(skills / "new\nline", "newline");
    writeFile(skills / "bad\xFF\xFEname", "bytes");
    writeFile(skills / std::string(255, 'n'), "long");
    makeLink("loop-b", skills / "loop-a");
    makeLink("loop-a", skills / "loop-b");
    Path deep = home / ".codex/rules";
    for (int i = 0; i < 120; ++i) deep /= "level";
    writeFile(deep / "bottom.rules", "deep");

    auto result = run();
    for (const auto& item : result.manifest.items) EXPECT_EQ(item.status, Status::copied) << item.message.value_or("");
    EXPECT_EQ(withoutManifest(treeOf(latest)), backupOfSources());

    // Deeper than a path may be long: the item fails, naming where, and nothing is lost silently.
    int fd = open((home / ".codex/automations").c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 500; ++i) {
        mkdirat(fd, "deeper-level", 0755);
        const int next = openat(fd, "deeper-level", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(openat(fd, "leaf", O_WRONLY | O_CREAT, 0644));
    close(fd);
    result = run();
    const auto& automations = result.manifest.items[0];
    EXPECT_EQ(automations.status, Status::failed);
    EXPECT_NE(automations.message->find("name is too long"), std::string::npos) << *automations.message;
}

// A real full disk: the backup root on a 1 MiB tmpfs in a private mount namespace.
TEST_F(ReliabilityTest, AFullDiskFailsOnlyTheItemThatDidNotFitOrKeepsTheEarlierBackupWhole) {
    writeFile(home / ".codex/skills/big/blob.bin", std::string(2 << 20, 'b'));
    makeFolder(root);
    const auto outcome = withPrivateTmpfs(root, "1m", [&]() -> std::string {
        auto result = run(real, marchDay(19));
        const auto& skills = result.manifest.items[4];
        const std::string expected = "Could not copy " + quotedPath((home / ".codex/skills/big/blob.bin").string()) +
                                     ": the disk is full. The previous backup had no copy of it to keep.";
        if (skills.status != Status::failed || *skills.message != expected) return "skills: " + skills.message.value_or("");
        if (readFile(latest / "Codex/AGENTS.md") != "agents") return "latest lacks AGENTS.md";

        // Now the disk fills up while the snapshot's copy is made, as another program
        // writing there would make it.
        std::filesystem::remove(home / ".codex/skills/big/blob.bin");
        writeFile(home / ".codex/skills/big/mid.bin", std::string(300 << 10, 'm'));
        files.beforeEach = [&](const std::string& operation, const Path& path) {
            if (operation != "createDirectory" || path.filename().string().rfind(".publishing-", 0) != 0) return;
            std::ofstream filler(root / "filler");
            const std::string block(4096, 'f');
            while (filler.write(block.data(), block.size()) && filler.flush()) {}
        };
        const std::string failure = failureOf<BackupServiceError>([&] { run(files, marchDay(20)); });
        if (failure.find("the disk is full") == std::string::npos) return "not a full disk: " + failure;
        if (withoutManifest(treeOf(latest)) != backupOfSources()) return "latest is not the new backup";
        if (namesIn(snapshots) != std::set<std::string>{"2025-03-19"}) return "a half-made or unfitting snapshot was left";
        if (namesIn(machine) != std::set<std::string>{"Snapshots", "latest"}) return "leftovers in the machine folder";
        return "";
    });
    if (!outcome.available) GTEST_SKIP() << "no private mount namespace here: " << outcome.failure;
    EXPECT_EQ(outcome.failure, "");
}

// Thousands of runs over forty days: never more than seven snapshots, nothing left
// behind, latest always what the sources hold. Long, so scripts/soak runs it with the
// number of runs it is given, and the ordinary test run passes it over.
TEST_F(ReliabilityTest, SoakOverFortyDays) {
    const char* requested = std::getenv("BRINDLE_SOAK_RUNS");
    if (requested == nullptr) GTEST_SKIP() << "scripts/soak runs it (BRINDLE_SOAK_RUNS)";
    const int runs = std::max(1, std::atoi(requested));
    const Timestamp start = marchDay(1);
    const auto step = duration_cast<seconds>(days{40}) / runs;
    for (int i = 0; i < runs; ++i) {
        if (i % 37 == 0) writeFile(home / ".codex/AGENTS.md", std::to_string(i));
        ASSERT_EQ(run(real, start + step * i).copiedItemCount(), 6) << "run " << i;
        if (i % 50 == 0 || i == runs - 1) {
            ASSERT_LE(namesIn(snapshots).size(), 7u) << "run " << i;
            ASSERT_EQ(namesIn(machine), (std::set<std::string>{"Snapshots", "latest"})) << "run " << i;
            ASSERT_EQ(withoutManifest(treeOf(latest)), backupOfSources()) << "run " << i;
        }
    }
}

}  // namespace
}  // namespace brindle::testing
