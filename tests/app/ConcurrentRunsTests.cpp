#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ProgramRunner.h"

namespace brindle {
namespace {

using testing::RunningProgram;
using testing::TemporaryFolder;
using testing::treeOf;
using testing::writeFile;

// What a reader of the backup folder may see at any moment while runs publish:
// either no `latest` yet, or one that holds a whole, readable manifest.
struct LatestWatcher {
    Path latest;
    std::atomic<bool> stop{false};
    std::atomic<int> looks{0};
    std::atomic<int> sawBroken{0};
    std::string firstProblem;

    void watch() {
        while (!stop) {
            check();
            ++looks;
        }
    }

    void check() {
        const int folder = open(latest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) return;  // not published yet, or the machine folder is still being made
        struct stat opened {};
        fstat(folder, &opened);
        std::string problem;
        const int manifest = openat(folder, "manifest.json", O_RDONLY | O_CLOEXEC);
        if (manifest < 0) {
            problem = "latest had no manifest.json";
        } else {
            std::string contents;
            char buffer[8192];
            for (ssize_t n; (n = read(manifest, buffer, sizeof buffer)) > 0;) contents.append(buffer, static_cast<size_t>(n));
            close(manifest);
            auto parsed = nlohmann::json::parse(contents, nullptr, false);
            if (parsed.is_discarded() || !parsed.contains("items")) problem = "latest had a partial manifest.json";
        }
        close(folder);
        if (problem.empty()) return;
        // A folder swapped out while we looked into it is the previous backup being
        // cleared away, not what `latest` names.
        struct stat now {};
        if (stat(latest.c_str(), &now) == 0 && now.st_ino == opened.st_ino && now.st_dev == opened.st_dev) {
            if (sawBroken++ == 0) firstProblem = problem;
        }
    }
};

class ConcurrentRunsTest : public ::testing::TestWithParam<int> {
protected:
    TemporaryFolder temp{testing::memoryBackedTemporaryBase()};
    Path home = temp / "home";
    Path root = home / "Brindle Backups";

    void SetUp() override {
        writeFile(home / ".codex/AGENTS.md", "Be kind.");
        writeFile(home / ".codex/config.toml", "model = 1");
        writeFile(home / ".codex/rules/default.rules", "allow");
        for (int i = 0; i < 300; ++i)
            writeFile(home / ".agents/skills/bulk" / std::to_string(i % 7) / (std::to_string(i) + ".md"), std::string(2000, 'b'));
    }
    Path machineFolder() {
        for (auto& entry : std::filesystem::directory_iterator(root)) return entry.path();
        return root;
    }
};

TEST_P(ConcurrentRunsTest, EveryRunSucceedsAndLatestIsAlwaysWhole) {
    // The machine folder exists before the watcher starts, so that it can find `latest`.
    auto first = testing::runProgram(BRINDLE_BINARY, {"backup"},
                                     {{"HOME", home.string()}, {"XDG_CONFIG_HOME", (temp / "config").string()},
                                      {"XDG_RUNTIME_DIR", (temp / "run").string()}},
                                     temp.path());
    ASSERT_EQ(first.exitStatus, 0) << first.err;

    LatestWatcher watcher;
    watcher.latest = machineFolder() / "latest";
    std::thread watching([&] { watcher.watch(); });
    std::vector<std::unique_ptr<RunningProgram>> programs;
    for (int i = 0; i < GetParam(); ++i)
        programs.push_back(std::make_unique<RunningProgram>(
            BRINDLE_BINARY, std::vector<std::string>{"backup"},
            std::map<std::string, std::string>{{"HOME", home.string()},
                                               {"XDG_CONFIG_HOME", (temp / "config").string()},
                                               {"XDG_RUNTIME_DIR", (temp / "run").string()}},
            temp.path()));
    for (auto& program : programs) {
        auto outcome = program->wait();
        EXPECT_EQ(outcome.exitStatus, 0) << outcome.out << outcome.err;
    }
    watcher.stop = true;
    watching.join();

    EXPECT_EQ(watcher.sawBroken, 0) << watcher.firstProblem;
    EXPECT_GT(watcher.looks, 0);
    auto published = treeOf(machineFolder() / "latest");
    published.erase("manifest.json");
    std::map<std::string, std::string> expected;
    for (auto& [path, contents] : treeOf(home / ".codex")) expected["Codex/" + path] = contents;
    for (auto& [path, contents] : treeOf(home / ".agents")) expected["Agents/" + path] = contents;
    expected["Codex"] = expected["Agents"] = "<dir>";
    EXPECT_EQ(published, expected);

    std::vector<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(machineFolder())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Snapshots", "latest"})) << "a run left something behind";
}

INSTANTIATE_TEST_SUITE_P(Processes, ConcurrentRunsTest, ::testing::Values(2),
                         [](const auto& info) { return std::to_string(info.param) + "AtOnce"; });

}  // namespace
}  // namespace brindle
