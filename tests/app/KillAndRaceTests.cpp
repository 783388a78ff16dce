#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "tests/app/ProgramFixture.h"

namespace brindle::testing {
namespace {

using namespace std::chrono;

struct KillCase {
    const char* name;
    bool inMemory, refuseExchange;
};

class KillTest : public ProgramFixture, public ::testing::WithParamInterface<KillCase> {
protected:
    KillTest() : ProgramFixture(GetParam().inMemory) {}
    std::map<std::string, std::string> preload() const {
        if (!GetParam().refuseExchange) return {};
        // A sanitizer build wants its runtime first; this library only adds a function.
        const char* asan = std::getenv("ASAN_OPTIONS");
        return {{"LD_PRELOAD", BRINDLE_REFUSE_EXCHANGE},
                {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
    }
};

// `brindle backup` killed with SIGKILL at random moments of its whole run: afterwards
// latest and every snapshot are the whole earlier backup or the whole new one, byte
// for byte, the sources are as they were, and the next run succeeds and leaves nothing
// behind. Where the file system cannot swap, a kill between the fallback's two renames
// leaves latest's earlier content aside, which that next run puts back first.
TEST_P(KillTest, AKilledRunLeavesEveryBackupWholeAndTheNextRunPutsItRight) {
    for (int i = 0; i < 400; ++i)
        writeFile(home / ".agents/skills/bulk" / std::to_string(i % 9) / (std::to_string(i) + ".md"), std::string(1500 + i, 'a'));
    ASSERT_EQ(brindle({"backup"}, preload()).exitStatus, 0);
    const Tree earlier = backupOfSources();
    writeFile(home / ".codex/AGENTS.md", "new");
    writeFile(home / ".agents/skills/bulk/added.md", "added");
    std::filesystem::remove(home / ".agents/skills/bulk/0/0.md");
    const Tree later = backupOfSources(), sources = treeOf(home);
    const Path pristine = temp / "pristine";
    ASSERT_EQ(std::system(("cp -a '" + root.string() + "' '" + pristine.string() + "'").c_str()), 0);
    const auto began = steady_clock::now();
    ASSERT_EQ(brindle({"backup"}, preload()).exitStatus, 0);
    std::uniform_int_distribution<long> moment(0, duration_cast<microseconds>(steady_clock::now() - began).count() * 11 / 10);
    std::mt19937 random(std::random_device{}());

    // A few in every test run (a run on disk waits for the disk); scripts/soak asks for many.
    const char* requested = std::getenv("BRINDLE_KILLS");
    const int kills = requested ? std::max(1, std::atoi(requested)) : GetParam().inMemory ? 10 : 4;
    for (int kill = 0; kill < kills; ++kill) {
        std::filesystem::remove_all(root);
        ASSERT_EQ(std::system(("cp -a '" + pristine.string() + "' '" + root.string() + "'").c_str()), 0);
        RunningProgram run = start({"backup"}, preload());
        const auto after = microseconds(moment(random));
        std::this_thread::sleep_for(after);
        run.kill();
        run.wait();
        const std::string label = "killed after " + std::to_string(after.count()) + " us";
        const Path latest = machine() / "latest";
        EXPECT_TRUE(std::filesystem::exists(latest) ? holds(latest, earlier) || holds(latest, later) : GetParam().refuseExchange)
            << label << ": latest is partial or gone";
        for (auto& entry : std::filesystem::directory_iterator(machine() / "Snapshots"))
            EXPECT_TRUE(entry.path().filename().string().front() == '.' || holds(entry.path(), earlier) || holds(entry.path(), later))
                << label << ": " << entry.path();
        EXPECT_EQ(treeOf(home), sources) << label;

        const auto next = brindle({"backup"}, preload());
        EXPECT_EQ(next.exitStatus, 0) << label << ": " << next.err;
        EXPECT_TRUE(holds(latest, later)) << label;
        EXPECT_EQ(leftovers(), std::vector<std::string>{}) << label;
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Where, KillTest,
                         ::testing::Values(KillCase{"OnDisk", false, false}, KillCase{"InMemory", true, false},
                                           KillCase{"WithoutExchange", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two runs at once, and a reader opening latest over and over: every run succeeds (the
// run lock), and the reader never sees latest without a whole manifest.
class RunsAtOnceTest : public ProgramFixture {};

TEST_F(RunsAtOnceTest, EveryRunSucceedsAndAReaderNeverSeesAPartialLatest) {
    for (int i = 0; i < 300; ++i)
        writeFile(home / ".agents/skills/bulk" / std::to_string(i % 7) / (std::to_string(i) + ".md"), std::string(2000, 'b'));
    ASSERT_EQ(brindle({"backup"}).exitStatus, 0);
    const Path latest = machine() / "latest";
    std::atomic<int> looks{0};
    std::string problem;
    // Joined however the test ends, so that a failing check fails the test, not the program.
    std::jthread reader([&](const std::stop_token& stop) {
        for (; !stop.stop_requested() && problem.empty(); ++looks) {
            const int folder = open(latest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder < 0) continue;
            const Path opened = "/proc/self/fd/" + std::to_string(folder);
            std::ostringstream contents;  // from the folder opened, whatever latest is now
            contents << std::ifstream(opened / "manifest.json").rdbuf();
            // A folder swapped out while it was read is the earlier backup going away.
            std::error_code gone;
            const bool stillLatest = std::filesystem::equivalent(opened, latest, gone);
            close(folder);
            if (stillLatest && !contents.str().ends_with('}')) problem = "latest without a whole manifest";
        }
    });
    RunningProgram first = start({"backup"}), second = start({"backup"});
    EXPECT_EQ(first.wait().exitStatus, 0);
    EXPECT_EQ(second.wait().exitStatus, 0);
    reader.request_stop();
    reader.join();
    EXPECT_EQ(problem, "");
    EXPECT_GT(looks, 0);
}

}  // namespace
}  // namespace brindle::testing
