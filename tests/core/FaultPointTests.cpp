#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "BrindleCore/BackupService.h"
#include "BrindleCore/SnapshotNames.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/TemporaryFolder.h"

// Fails every file-system call a realistic run makes, one at a time, and checks that
// nothing is lost and nothing half-done is left, whatever the call and the error.
namespace brindle {
namespace {

using namespace std::chrono;
using testing::FaultInjectingFileManager;
using testing::makeFolder;
using testing::TemporaryFolder;
using testing::treeOf;
using testing::writeFile;
using Tree = std::map<std::string, std::string>;

Tree subtree(const Tree& tree, const std::string& prefix) {
    Tree result;
    for (const auto& [path, contents] : tree) {
        if (path.rfind(prefix + "/", 0) == 0) result[path.substr(prefix.size() + 1)] = contents;
    }
    return result;
}

class FaultPointTest : public ::testing::Test {
protected:
    // Hundreds of runs create and remove thousands of small files; on a disk whose file
    // system is slow to reuse just-freed inodes that alone takes minutes, and these
    // tiny trees fit in memory.
    TemporaryFolder temp{testing::memoryBackedTemporaryBase()};
    PosixFileManager real;
    Path home = temp / "home";
    Path root = temp / "root";
    Path pristine = temp / "pristine";
    Path machine = root / "box";
    std::vector<BackupItem> items;
    BackupSettings settings;
    const Timestamp now{sys_days{year{2025} / 3 / 20} + hours{12}};
    Tree sourcesBefore;

    void SetUp() override {
        writeFile(home / ".codex/automations/a.toml", "a");
        writeFile(home / ".codex/automations/.run-jitter-salt", "s");
        writeFile(home / ".codex/AGENTS.md", "agents");
        writeFile(home / ".codex/config.toml", "config");
        writeFile(home / ".codex/rules/r.rules", "rules");
        writeFile(home / ".codex/skills/pdf/SKILL.md", "pdf");
        writeFile(home / ".codex/skills/pdf/scripts/run.sh", "#!/bin/sh");
        writeFile(home / ".codex/skills/.system/x", "x");
        writeFile(home / ".agents/skills/review/SKILL.md", "review");
        items = DefaultBackupItems::items(home);
        settings = BackupSettings{root.string(), {}, 30};
        for (const auto& item : items) settings.enabledItemIDs.insert(item.id);

        // An earlier state: a latest, several snapshots, duplicates to clean.
        for (unsigned d = 10; d <= 17; ++d) service(real).run(settings, items, Timestamp{sys_days{year{2025} / 3 / d} + hours{12}});
        makeFolder(machine / "latest 2/Codex");
        makeFolder(machine / "Snapshots/2025-03-17 2");
        real.copyItem(root, pristine);
        sourcesBefore = treeOf(home);
    }

    BackupService service(FileManager& files) {
        return BackupService(files, [] { return std::string("box"); });
    }

    void restore() {
        real.removeItem(root);
        real.copyItem(pristine, root);
    }

    // The new backup is whole when every item it calls copied is there in full, and it
    // holds nothing but the manifest and item folders.
    bool isWholeNewBackup(const Tree& backup) {
        if (backup.count("manifest.json") == 0) return false;
        auto manifest = backupManifestFromJson(backup.at("manifest.json"));
        for (const auto& entry : manifest.items) {
            if (entry.status != BackupManifestItem::Status::copied) continue;
            const auto& item = *std::find_if(items.begin(), items.end(), [&](auto& i) { return i.id == entry.id; });
            bool isDirectory = false;
            real.fileExists(item.sourcePath, isDirectory);
            if (!isDirectory) {
                auto copied = backup.find(item.destinationPath);
                if (copied == backup.end() || copied->second != testing::readFile(item.sourcePath)) return false;
                continue;
            }
            Tree source = treeOf(item.sourcePath);
            for (const auto& excluded : item.excludedRelativePaths) {
                for (auto it = source.begin(); it != source.end();) {
                    it = (it->first == excluded || it->first.rfind(excluded + "/", 0) == 0) ? source.erase(it) : std::next(it);
                }
            }
            if (subtree(backup, item.destinationPath) != source) return false;
        }
        for (const auto& [path, contents] : backup) {
            if (path.find('/') == std::string::npos && path != "manifest.json" && path != "Codex" && path != "Agents") return false;
        }
        return true;
    }

    void checkAfterFault(const std::string& label, const Tree& latestBefore, const std::map<std::string, Tree>& snapshotsBefore) {
        EXPECT_EQ(treeOf(home), sourcesBefore) << label << ": a source changed";
        for (const auto& entry : real.contentsOfDirectory(machine)) {
            const std::string name = entry.filename().string();
            EXPECT_TRUE(name == "latest" || name == "Snapshots" || name == "latest 2") << label << ": left " << name;
        }
        ASSERT_TRUE(real.fileExists(machine / "latest")) << label << ": latest is gone";
        const Tree latest = treeOf(machine / "latest");
        EXPECT_TRUE(latest == latestBefore || isWholeNewBackup(latest)) << label << ": latest is partial";
        for (const auto& entry : real.contentsOfDirectory(machine / "Snapshots")) {
            const std::string name = entry.filename().string();
            EXPECT_NE(name.rfind(".", 0), 0u) << label << ": left " << name;
            auto before = snapshotsBefore.find(name);
            const Tree snapshot = treeOf(entry);
            bool whole = (before != snapshotsBefore.end() && snapshot == before->second) || isWholeNewBackup(snapshot);
            EXPECT_TRUE(whole) << label << ": snapshot " << name << " is partial";
        }
    }
};

TEST_F(FaultPointTest, EveryCallFailingLeavesEveryBackupWholeAndTheNextRunClean) {
    std::size_t calls = 0, errors = 0, results = 0;
    // Twice: with the day's snapshot still to be made, and with one that an earlier run
    // of the same day made along with latest (which is set aside before publishing).
    for (bool earlierRunToday : {false, true}) {
        if (earlierRunToday) {
            restore();
            service(real).run(settings, items, now - hours{3});
            real.removeItem(pristine);
            real.copyItem(root, pristine);
        }
        FaultInjectingFileManager counting(real);
        restore();
        service(counting).run(settings, items, now);
        const std::size_t stateCalls = counting.failableCallCount();
        ASSERT_GT(stateCalls, 40u);
        calls += stateCalls;

        restore();
        const Tree latestBefore = treeOf(machine / "latest");
        std::map<std::string, Tree> snapshotsBefore;
        for (const auto& entry : real.contentsOfDirectory(machine / "Snapshots"))
            snapshotsBefore[entry.filename().string()] = treeOf(entry);

        for (int code : {ENOSPC, EACCES, EIO}) {
            for (std::size_t call = 0; call < stateCalls; ++call) {
                restore();
                FaultInjectingFileManager failing(real);
                failing.failCallNumber(call, code);
                const std::string label = std::string(earlierRunToday ? "same day, " : "") + "call " +
                                          std::to_string(call) + " errno " + std::to_string(code);
                try {
                    auto result = service(failing).run(settings, items, now);
                    ++results;
                    for (const auto& entry : result.manifest.items) {
                        if (entry.message) {
                            EXPECT_NE(entry.message->find('/'), std::string::npos) << label << ": " << *entry.message;
                        }
                    }
                } catch (const std::exception& error) {
                    ++errors;
                    EXPECT_NE(std::string(error.what()).find('/'), std::string::npos) << label << ": " << error.what();
                }
                checkAfterFault(label, latestBefore, snapshotsBefore);
                auto next = service(real).run(settings, items, now);
                EXPECT_EQ(next.copiedItemCount(), 6) << label;
                EXPECT_TRUE(isWholeNewBackup(treeOf(machine / "latest"))) << label;
                EXPECT_TRUE(isWholeNewBackup(treeOf(machine / "Snapshots/2025-03-20"))) << label;
                if (::testing::Test::HasFailure()) return;  // one broken fault point is enough to read
            }
        }
    }
    EXPECT_GT(errors, 0u);
    EXPECT_GT(results, 0u);
    // The README's reliability table quotes these figures.
    std::printf("fault points: %zu calls x 3 errors = %zu faulty runs; %zu returned a result, %zu threw\n", calls,
                3 * calls, results, errors);
}

}  // namespace
}  // namespace brindle
