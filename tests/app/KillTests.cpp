#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "BrindleCore/BackupManifest.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ProgramRunner.h"

// `brindle backup` killed with SIGKILL at random moments of its whole run: afterwards
// latest and every snapshot are the whole earlier backup or the whole new one, byte
// for byte, the sources are as they were, and the next run succeeds and leaves nothing
// behind. Where the file system cannot swap, a kill between the fallback's two renames
// leaves latest's earlier content aside, which that next run puts back first.
namespace brindle::testing {
namespace {

using namespace std::chrono;

struct KillCase {
    const char* name;
    bool inMemory;
    bool refuseExchange;
};

class KillTest : public ::testing::TestWithParam<KillCase> {
protected:
    TemporaryFolder temp{GetParam().inMemory ? memoryBackedTemporaryBase() : Path(std::filesystem::temp_directory_path())};
    Path home = temp / "home";
    Path root = temp / "root";
    Path pristine = temp / "pristine";

    std::map<std::string, std::string> environment() {
        std::map<std::string, std::string> env{{"HOME", home.string()}, {"XDG_CONFIG_HOME", (temp / "config").string()}};
        if (GetParam().refuseExchange) {
            env["LD_PRELOAD"] = BRINDLE_REFUSE_EXCHANGE;
            // A sanitizer build wants its runtime first; this library only adds a function.
            const char* asan = std::getenv("ASAN_OPTIONS");
            env["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
        }
        return env;
    }
    RunningProgram start() { return RunningProgram(BRINDLE_BINARY, {"backup"}, environment(), temp.path()); }
    Path machine() {
        for (auto& entry : std::filesystem::directory_iterator(root)) return entry.path();
        return root;
    }
    // The backup the sources make now, in latest's layout, the manifest aside.
    Tree backupOfSources() {
        Tree tree{{"Codex", "<dir>"}, {"Agents", "<dir>"}};
        for (auto& [path, contents] : treeOf(home / ".codex")) tree["Codex/" + path] = contents;
        for (auto& [path, contents] : treeOf(home / ".agents")) tree["Agents/" + path] = contents;
        return tree;
    }
    static bool isWhole(Tree backup, const Tree& expected) {
        if (backup.count("manifest.json") == 0) return false;
        backupManifestFromJson(backup.at("manifest.json"));
        backup.erase("manifest.json");
        return backup == expected;
    }
    // A few in every test run (a run on disk waits for the disk); scripts/soak asks for many.
    static std::size_t runs() {
        const char* requested = std::getenv("BRINDLE_KILLS");
        if (requested != nullptr) return static_cast<std::size_t>(std::max(1, std::atoi(requested)));
        return GetParam().inMemory ? 10 : 4;
    }
};

TEST_P(KillTest, AKilledRunLeavesEveryBackupWholeAndTheNextRunPutsItRight) {
    for (int i = 0; i < 400; ++i)
        writeFile(home / ".agents/skills/bulk" / std::to_string(i % 9) / (std::to_string(i) + ".md"), std::string(1500 + i, 'a'));
    writeFile(home / ".codex/AGENTS.md", "old");
    writeFile(home / ".codex/rules/default.rules", "allow");
    writeFile(temp / "config/Brindle/settings.json",
              R"({"backupIntervalMinutes": 30, "destinationRootPath": ")" + root.string() +
                  R"(", "enabledItemIDs": ["codex-agents", "codex-rules", "agent-skills"]})");
    ASSERT_EQ(start().wait().exitStatus, 0);
    const Tree earlier = backupOfSources();
    writeFile(home / ".codex/AGENTS.md", "new");
    writeFile(home / ".agents/skills/bulk/added.md", "added");
    std::filesystem::remove(home / ".agents/skills/bulk/0/0.md");
    const Tree later = backupOfSources();
    const Tree sources = treeOf(home);
    ASSERT_EQ(std::system(("cp -a '" + root.string() + "' '" + pristine.string() + "'").c_str()), 0);
    auto restore = [&] {
        std::filesystem::remove_all(root);
        ASSERT_EQ(std::system(("cp -a '" + pristine.string() + "' '" + root.string() + "'").c_str()), 0);
    };
    const auto began = steady_clock::now();
    ASSERT_EQ(start().wait().exitStatus, 0);
    const auto duration = duration_cast<microseconds>(steady_clock::now() - began);

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long> moment(0, duration.count() * 11 / 10);
    for (std::size_t kill = 0; kill < runs(); ++kill) {
        restore();
        RunningProgram run = start();
        const auto after = microseconds(moment(random));
        std::this_thread::sleep_for(after);
        run.kill();
        run.wait();
        const std::string label = "killed after " + std::to_string(after.count()) + " us";
        const Path latest = machine() / "latest";
        if (std::filesystem::exists(latest)) {
            const Tree now = treeOf(latest);
            EXPECT_TRUE(isWhole(now, earlier) || isWhole(now, later)) << label << ": latest is partial";
        } else {
            EXPECT_TRUE(GetParam().refuseExchange) << label << ": latest is gone";
        }
        for (auto& entry : std::filesystem::directory_iterator(machine() / "Snapshots")) {
            if (entry.path().filename().string().front() == '.') continue;
            const Tree now = treeOf(entry.path());
            EXPECT_TRUE(isWhole(now, earlier) || isWhole(now, later)) << label << ": " << entry.path() << " is partial";
        }
        EXPECT_EQ(treeOf(home), sources) << label;

        const auto next = start().wait();
        EXPECT_EQ(next.exitStatus, 0) << label << ": " << next.err;
        EXPECT_TRUE(isWhole(treeOf(latest), later)) << label;
        for (const auto& folder : {machine(), machine() / "Snapshots"}) {
            for (auto& entry : std::filesystem::directory_iterator(folder))
                EXPECT_NE(entry.path().filename().string().front(), '.') << label << ": left " << entry.path();
        }
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Where, KillTest,
                         ::testing::Values(KillCase{"OnDisk", false, false}, KillCase{"InMemory", true, false},
                                           KillCase{"WithoutExchange", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brindle::testing
