#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <thread>

#include "BrindleCore/BackupService.h"
#include "BrindleCore/BackupServiceError.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/SnapshotNames.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle {
namespace {

using namespace std::chrono;
using testing::FaultInjectingFileManager;
using testing::makeFolder;
using testing::makeLink;
using testing::readFile;
using testing::TemporaryFolder;
using testing::treeOf;
using testing::writeFile;
using Status = BackupManifestItem::Status;
using Tree = std::map<std::string, std::string>;

Timestamp noonOn(int y, unsigned m, unsigned d) {
    return Timestamp{sys_days{year{y} / m / d} + hours{12}};
}

class BackupServiceTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    PosixFileManager real;
    FaultInjectingFileManager files{real};
    Path home = temp / "home";
    Path root = temp / "Backups";
    Path machine = root / "test-box";
    BackupSettings settings;
    std::vector<BackupItem> items;

    void SetUp() override {
        writeFile(home / ".codex/automations/daily.toml", "every day");
        writeFile(home / ".codex/automations/.run-jitter-salt", "salt");
        writeFile(home / ".codex/AGENTS.md", "Be kind.");
        writeFile(home / ".codex/config.toml", "model = \"x\"");
        writeFile(home / ".codex/rules/default.rules", "allow");
        writeFile(home / ".codex/skills/pdf/SKILL.md", "pdf skill");
        writeFile(home / ".codex/skills/.system/internal", "system");
        writeFile(home / ".agents/skills/review/SKILL.md", "review");
        items = DefaultBackupItems::items(home);
        settings = BackupSettings{root.string(), {}, 30};
        for (const auto& item : items) settings.enabledItemIDs.insert(item.id);
    }

    BackupResult run(Timestamp now = noonOn(2025, 1, 31)) {
        return BackupService(files, [] { return std::string("test-box"); }).run(settings, items, now);
    }
    std::string day(Timestamp now) { return snapshotFolderName(now); }
    std::vector<std::string> machineEntries() {
        std::vector<std::string> names;
        for (const auto& entry : real.contentsOfDirectory(machine)) names.push_back(entry.filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(BackupServiceTest, ARunPublishesEveryFoundItemToLatestAndTheDaysSnapshot) {
    std::filesystem::remove(home / ".codex/AGENTS.md");
    const auto now = noonOn(2025, 1, 31);
    auto result = run(now);

    EXPECT_EQ(result.latestURL, machine / "latest");
    EXPECT_EQ(machineEntries(), (std::vector<std::string>{"Snapshots", "latest"})) << "the staging folder is gone";
    const auto latest = treeOf(machine / "latest");
    EXPECT_EQ(latest, treeOf(machine / "Snapshots" / day(now)));
    EXPECT_EQ(latest.count("Codex/automations/.run-jitter-salt"), 0u);
    EXPECT_EQ(latest.count("Codex/skills/.system"), 0u);
    EXPECT_EQ(latest.at("Agents/skills/review/SKILL.md"), "review");
    EXPECT_EQ(latest.count("Codex/AGENTS.md"), 0u);
    EXPECT_EQ(backupManifestFromJson(latest.at("manifest.json")), result.manifest);

    const auto& manifest = result.manifest;
    EXPECT_EQ(manifest.appName, "Brindle");
    EXPECT_EQ(manifest.machineName, "test-box");
    EXPECT_EQ(manifest.createdAt, now);
    EXPECT_TRUE(manifest.warnings.empty());
    ASSERT_EQ(manifest.items.size(), 6u);
    EXPECT_EQ(result.copiedItemCount(), 5);
    const auto& agents = manifest.items[1];
    EXPECT_EQ(agents.status, Status::missing);
    EXPECT_EQ(agents.message, "Global AGENTS.md was not found at " + (home / ".codex/AGENTS.md").string() + ".");
    const auto& automations = manifest.items[0];
    EXPECT_EQ(automations.fileCount, 1);
    EXPECT_EQ(automations.byteCount, 9u);
    for (const auto& item : manifest.items) {
        EXPECT_NE(item.destinationPath.find(machine.string() + "/.staging-"), std::string::npos) << item.destinationPath;
    }
}

TEST_F(BackupServiceTest, TheStagingFolderIsPrivateWhileItHoldsTheCopies) {
    std::mutex seen;  // both publishes copy out of staging at once
    std::optional<mode_t> stagingMode;
    files.beforeEach = [&](const std::string& operation, const Path& path) {
        const auto at = path.string().find("/.staging-");
        std::lock_guard lock(seen);
        if (operation != "copyItem" || at == std::string::npos || stagingMode) return;
        const auto end = path.string().find('/', at + 1);
        struct stat status {};
        if (stat(path.string().substr(0, end).c_str(), &status) == 0) stagingMode = status.st_mode & 07777;
    };
    run();
    ASSERT_TRUE(stagingMode.has_value()) << "no copy out of staging was seen";
    EXPECT_EQ(*stagingMode, 0700u);
    EXPECT_EQ(std::filesystem::status(machine / "latest/Codex/AGENTS.md").permissions(),
              std::filesystem::status(home / ".codex/AGENTS.md").permissions())
        << "copies keep their own bits";
}

TEST_F(BackupServiceTest, OnlyEnabledItemsAppearAndRequiredMissingOnesWarn) {
    std::filesystem::remove(home / ".codex/config.toml");
    settings.enabledItemIDs = {"codex-config", "codex-rules", "no-such-item"};
    items[2].required = true;
    auto result = run();
    ASSERT_EQ(result.manifest.items.size(), 2u);
    EXPECT_EQ(result.manifest.items[0].id, "codex-config");
    ASSERT_EQ(result.manifest.items[0].status, Status::missing);
    EXPECT_EQ(result.manifest.warnings, std::vector<std::string>{*result.manifest.items[0].message});
    EXPECT_EQ(treeOf(machine / "latest").count("Codex/skills"), 0u);

    settings.enabledItemIDs.clear();
    result = run();
    EXPECT_TRUE(result.manifest.items.empty());
    EXPECT_EQ(treeOf(machine / "latest"), (Tree{{"manifest.json", toJson(result.manifest)}}));
}

TEST_F(BackupServiceTest, RepublishingRemovesWhatTheNewBackupDoesNotHold) {
    run(noonOn(2025, 1, 30));
    writeFile(machine / "latest/put-here-by-hand.txt", "x");
    settings.enabledItemIDs.erase("agent-skills");
    run(noonOn(2025, 1, 31));
    auto latest = treeOf(machine / "latest");
    EXPECT_EQ(latest.count("put-here-by-hand.txt"), 0u);
    EXPECT_EQ(latest.count("Agents"), 0u);
    EXPECT_EQ(treeOf(machine / "Snapshots" / day(noonOn(2025, 1, 30))).count("Agents/skills/review/SKILL.md"), 1u);

    writeFile(home / ".codex/AGENTS.md", "Be kinder.");
    run(noonOn(2025, 1, 31) + hours{3});
    EXPECT_EQ(readFile(machine / "Snapshots" / day(noonOn(2025, 1, 31)) / "Codex/AGENTS.md"), "Be kinder.");
    EXPECT_EQ(real.contentsOfDirectory(machine / "Snapshots").size(), 2u);
}

TEST_F(BackupServiceTest, AFailedItemKeepsItsPathAsWrittenAndTheRunGoesOn) {
    items[3].sourcePath = home.string() + "/.codex/./rules//";
    files.failWhen("copyItem", "default.rules", EIO);
    auto result = run();
    const auto& rules = result.manifest.items[3];
    EXPECT_EQ(rules.status, Status::failed);
    EXPECT_EQ(rules.sourcePath, items[3].sourcePath);
    EXPECT_NE(rules.message->find("input/output error"), std::string::npos);
    ASSERT_EQ(result.manifest.warnings.size(), 1u);
    EXPECT_EQ(result.manifest.warnings[0], "Codex rules failed: " + *rules.message);
    EXPECT_EQ(result.copiedItemCount(), 5);
}

TEST_F(BackupServiceTest, ASourceThatCannotBeExaminedFailsInsteadOfBeingMissing) {
    files.failWhen("sourceExists", "AGENTS.md", EACCES);
    auto result = run();
    EXPECT_EQ(result.manifest.items[1].status, Status::failed);
    EXPECT_NE(result.manifest.items[1].message->find("permission was denied"), std::string::npos);
}

TEST_F(BackupServiceTest, ABackupRootInsideASourceFailsThatItemEvenThroughALink) {
    settings.destinationRootPath = (home / ".codex/skills/backups").string();
    auto result = run();
    const auto& skills = result.manifest.items[4];
    EXPECT_EQ(skills.status, Status::failed);
    EXPECT_EQ(*skills.message, "Backup destination " + skills.destinationPath + " cannot be inside source " +
                                   (home / ".codex/skills").string() + ".");
    EXPECT_EQ(result.manifest.items[5].status, Status::copied);

    // The same root reached through a link must not copy the backup into itself.
    makeLink((home / ".codex/skills").string(), temp / "innocent");
    settings.destinationRootPath = (temp / "innocent/backups").string();
    result = run();
    EXPECT_EQ(result.manifest.items[4].status, Status::failed);
    EXPECT_NE(result.manifest.items[4].message->find("cannot be inside source"), std::string::npos);
    // A sibling whose name merely begins with the source's is fine.
    settings.destinationRootPath = (home / ".codex/skills-backups").string();
    EXPECT_EQ(run().manifest.items[4].status, Status::copied);
}

TEST_F(BackupServiceTest, ARelativeOrEmptyRootEndsTheRunBeforeAnythingIsCreated) {
    for (const std::string bad : {"", "Backups", "~/Backups"}) {
        settings.destinationRootPath = bad;
        EXPECT_THROW(run(), InvalidDestinationError) << bad;
    }
    EXPECT_FALSE(real.entryExists(root));
}

TEST_F(BackupServiceTest, PublishingThatFailsAtAnyStepLeavesTheEarlierBackupWhole) {
    run(noonOn(2025, 1, 31));
    const auto before = treeOf(machine / "latest");
    writeFile(home / ".codex/AGENTS.md", "changed");
    const std::vector<std::pair<std::string, std::string>> steps{
        {"createDirectory", "latest"},         {"createDirectory", ".publishing-"}, {"contentsOfDirectory", ".staging-"},
        {"copyItem", ".staging-"},             {"exchangeItems", ".publishing-"},   {"removeItem", ".publishing-"}};
    for (const auto& [step, where] : steps) {
        files.clearFaults();
        files.failWhen(step, where, ENOSPC, 1);
        try {
            run(noonOn(2025, 1, 31) + hours{1});
            ADD_FAILURE() << step << ": the run succeeded";
        } catch (const BackupServiceError& error) {
            EXPECT_EQ(error.kind(), BackupServiceError::Kind::unableToPublishBackup) << step;
            EXPECT_NE(std::string(error.what()).find("the disk is full"), std::string::npos) << error.what();
        }
        files.clearFaults();
        const auto after = treeOf(machine / "latest");
        EXPECT_TRUE(after == before || after.at("Codex/AGENTS.md") == "changed") << step << ": latest is partial";
        EXPECT_EQ(machineEntries(), (std::vector<std::string>{"Snapshots", "latest"})) << step << ": leftovers";
    }
}

TEST_F(BackupServiceTest, EachPublishEndsWholeOnItsOwnAndLatestsErrorComesFirst) {
    const auto now = noonOn(2025, 1, 31);
    const Path snapshot = machine / "Snapshots" / day(now);
    auto publishError = [&](Timestamp when, const std::string& agents) -> std::string {
        writeFile(home / ".codex/AGENTS.md", agents);
        try {
            run(when);
        } catch (const BackupServiceError& error) {
            return error.what();
        }
        return "the run succeeded";
    };
    run(now);

    // The day's snapshot made with latest is a second copy of latest's backup and goes
    // first; when its new copy then fails, latest holds the newer backup, and nothing
    // half-made or hidden stays in Snapshots.
    files.failWhen("moveItem", "Snapshots/.publishing-", EACCES, 1);
    const std::string duplicateFailed = publishError(now + hours{1}, "v1");
    EXPECT_NE(duplicateFailed.find("Snapshots"), std::string::npos) << duplicateFailed;
    EXPECT_EQ(readFile(machine / "latest/Codex/AGENTS.md"), "v1");
    EXPECT_TRUE(real.contentsOfDirectory(machine / "Snapshots").empty()) << "a partial or hidden folder was left";

    // A failed latest does not keep the snapshot from being made.
    files.clearFaults();
    files.failWhen("exchangeItems", "test-box/.publishing-", EACCES, 1);
    EXPECT_NE(publishError(now + hours{2}, "v2"), "the run succeeded");
    EXPECT_EQ(readFile(machine / "latest/Codex/AGENTS.md"), "v1");
    EXPECT_EQ(readFile(snapshot / "Codex/AGENTS.md"), "v2");

    // A snapshot that is not latest's copy is only replaced once its new copy is whole.
    files.clearFaults();
    files.failWhen("exchangeItems", "Snapshots", EACCES, 1);
    EXPECT_NE(publishError(now + hours{3}, "v3"), "the run succeeded");
    EXPECT_EQ(readFile(machine / "latest/Codex/AGENTS.md"), "v3");
    EXPECT_EQ(readFile(snapshot / "Codex/AGENTS.md"), "v2");
    EXPECT_EQ(real.contentsOfDirectory(machine / "Snapshots").size(), 1u) << "a publishing folder was left";

    // Both fail: the message is latest's.
    files.clearFaults();
    files.failWhen("exchangeItems", "Snapshots", EACCES, 1);
    files.failWhen("exchangeItems", "test-box/.publishing-", ENOSPC, 1);
    const std::string both = publishError(now + hours{4}, "v4");
    EXPECT_NE(both.find("the disk is full"), std::string::npos) << both;
    EXPECT_EQ(readFile(machine / "latest/Codex/AGENTS.md"), "v3");
    EXPECT_EQ(readFile(snapshot / "Codex/AGENTS.md"), "v2");
}

TEST_F(BackupServiceTest, ItemsCopiedInsideAnotherItemsCopyAllArrive) {
    // Copying an item clears its destination first; side by side, the outer item
    // could clear the inner one's copy away.
    writeFile(home / "outer/a", "a");
    writeFile(home / "inner/b", "b");
    items = {{"outer", "Outer", (home / "outer").string(), "Shared", {}, false},
             {"inner", "Inner", (home / "inner").string(), "Shared/inner", {}, false},
             {"other", "Other", (home / ".codex/rules").string(), "Other", {}, false}};
    settings.enabledItemIDs = {"outer", "inner", "other"};
    // Holding the outer item back lets the inner one create the shared folder first.
    files.beforeEach = [&](const std::string& operation, const Path& path) {
        if (operation == "sourceExists" && path == home / "outer") std::this_thread::sleep_for(milliseconds(30));
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto result = run();
        ASSERT_EQ(result.manifest.items.size(), 3u);
        EXPECT_EQ(result.manifest.items[0].id, "outer") << "the manifest keeps the catalog's order";
        EXPECT_EQ(readFile(machine / "latest/Shared/a"), "a");
        EXPECT_EQ(readFile(machine / "latest/Shared/inner/b"), "b");
    }
}

TEST_F(BackupServiceTest, APublishingFolderThatCouldNotBeRemovedGoesWithTheNextRun) {
    run();
    files.failWhen("removeItem", ".publishing-", EACCES);
    EXPECT_THROW(run(), BackupServiceError);
    files.clearFaults();
    EXPECT_EQ(machineEntries().size(), 3u);
    run();
    EXPECT_EQ(machineEntries(), (std::vector<std::string>{"Snapshots", "latest"}));
}

TEST_F(BackupServiceTest, PublishingWorksWhereTheFileSystemCannotSwap) {
    run();
    files.refuseExchange = true;
    writeFile(home / ".codex/AGENTS.md", "fallback");
    run();
    EXPECT_EQ(readFile(machine / "latest/Codex/AGENTS.md"), "fallback");
    EXPECT_EQ(machineEntries(), (std::vector<std::string>{"Snapshots", "latest"}));

    // A failure between the two renames puts the earlier backup back.
    files.failWhen("moveItem", ".publishing-", EIO);
    writeFile(home / ".codex/AGENTS.md", "lost?");
    EXPECT_THROW(run(), BackupServiceError);
    EXPECT_EQ(readFile(machine / "latest/Codex/AGENTS.md"), "fallback");
    EXPECT_EQ(machineEntries(), (std::vector<std::string>{"Snapshots", "latest"}));
}

TEST_F(BackupServiceTest, ALaterFailureEndsTheRunAfterPublishingAndRemovesStaging) {
    writeFile(machine / "Snapshots/2020-01-01", "");
    files.failWhen("removeItem", "2020-01-01", EACCES);
    for (int i = 0; i < 7; ++i) makeFolder(machine / "Snapshots" / day(noonOn(2025, 2, 1 + i)));
    EXPECT_THROW(run(noonOn(2025, 1, 31)), FileSystemError);
    EXPECT_EQ(treeOf(machine / "latest").count("Codex/AGENTS.md"), 1u);
    EXPECT_EQ(machineEntries(), (std::vector<std::string>{"Snapshots", "latest"})) << "staging folder left behind";

    files.clearFaults();
    files.failWhen("writeFileAtomically", "manifest.json", ENOSPC);
    EXPECT_THROW(run(), FileSystemError);
    EXPECT_EQ(machineEntries(), (std::vector<std::string>{"Snapshots", "latest"}));
}

TEST_F(BackupServiceTest, CleanupRemovesNumberedCopiesOfManagedNamesOnly) {
    run(noonOn(2025, 1, 30));
    makeFolder(machine / "latest 2/x");
    makeFolder(machine / "Snapshots  3");
    makeFolder(machine / "Latest 2");
    makeFolder(machine / "notes 2");
    makeFolder(machine / "Snapshots" / (day(noonOn(2025, 1, 30)) + " 2"));
    makeFolder(machine / "Snapshots/2024-01-01 2");  // its day is not there
    run(noonOn(2025, 1, 31));
    EXPECT_EQ(machineEntries(), (std::vector<std::string>{"Latest 2", "Snapshots", "latest", "notes 2"}));
    auto snapshots = real.contentsOfDirectory(machine / "Snapshots");
    std::vector<std::string> names;
    for (auto& s : snapshots) names.push_back(s.filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"2024-01-01 2", day(noonOn(2025, 1, 30)), day(noonOn(2025, 1, 31))}));
}

TEST_F(BackupServiceTest, RetentionKeepsTheSevenNewestDays) {
    for (unsigned d = 1; d <= 10; ++d) run(noonOn(2025, 3, d));
    writeFile(machine / "Snapshots/.DS_Store", "");
    makeFolder(machine / "Snapshots/2025-13-01");
    run(noonOn(2025, 3, 11));
    auto names = real.contentsOfDirectory(machine / "Snapshots");
    std::set<std::string> kept;
    for (auto& n : names) kept.insert(n.filename().string());
    std::set<std::string> expected{".DS_Store", "2025-13-01"};
    for (unsigned d = 5; d <= 11; ++d) expected.insert(day(noonOn(2025, 3, d)));
    EXPECT_EQ(kept, expected);
}

}  // namespace
}  // namespace brindle
