#include <cerrno>

#include "BrindleCore/BackupServiceError.h"
#include "tests/core/EngineFixture.h"

namespace brindle::testing {
namespace {

class BackupServiceTest : public EngineFixture {};

TEST_F(BackupServiceTest, ARunPublishesTheEnabledItemsToLatestAndTheDaysSnapshotAndRequiredMissingOnesWarn) {
    std::optional<unsigned> stagingBits;
    files.beforeEach = [&](const std::string& operation, const Path& path) {
        if (operation == "writeFileAtomically") stagingBits = real.examine(path.parent_path()).mode;
    };
    auto result = run(marchDay(19));

    EXPECT_EQ(stagingBits, 0700u) << "the staging folder is private while it holds the copies";
    EXPECT_EQ(namesIn(machine), (std::set<std::string>{"Snapshots", "latest"}));
    EXPECT_EQ(real.examine(latest).mode, real.examine(machine).mode) << "latest has a new folder's bits";
    const Tree published = treeOf(latest);
    EXPECT_EQ(published, treeOf(snapshotOf(marchDay(19))));
    EXPECT_EQ(withoutManifest(published), backupOfSources());
    EXPECT_EQ(backupManifestFromJson(published.at("manifest.json")), result.manifest);
    EXPECT_EQ(result.manifest.machineName, "box");
    EXPECT_EQ(result.manifest.createdAt, marchDay(19));
    for (const auto& item : result.manifest.items)
        EXPECT_EQ(item.destinationPath.rfind((machine / ".staging-").string(), 0), 0u) << item.destinationPath;

    // Only the enabled items replace all that latest held.
    writeFile(latest / "put-here-by-hand.txt", "x");
    std::filesystem::remove(home / ".codex/config.toml");
    settings.enabledItemIDs = {"codex-config", "codex-rules", "no-such-item"};
    items[2].required = true;
    result = run(marchDay(20));
    ASSERT_EQ(result.manifest.items.size(), 2u);
    ASSERT_EQ(result.manifest.items[0].status, Status::missing);
    EXPECT_EQ(result.manifest.warnings, std::vector<std::string>{*result.manifest.items[0].message});
    EXPECT_EQ(withoutManifest(treeOf(latest)), backupOfSources());

    settings.enabledItemIDs.clear();
    result = run();
    EXPECT_TRUE(result.manifest.items.empty());
    EXPECT_EQ(treeOf(latest), (Tree{{"manifest.json", toJson(result.manifest)}}));
}

// A failed item never leaves less in the new backup than the previous one held of it.
TEST_F(BackupServiceTest, AFailedItemKeepsItsEarlierCopyItsPathAsWrittenAndTheRunGoesOn) {
    run(marchDay(19));
    writeFile(home / ".codex/rules/new.rules", "new");
    writeFile(home / ".codex/AGENTS.md", "changed");
    items[3].sourcePath = home.string() + "/.codex/./rules//";
    files.failWhen("copyItem", (home / ".codex/rules/r.rules").string(), EIO);
    files.failWhen("examine", (home / ".codex/AGENTS.md").string(), EACCES);
    const auto result = run(marchDay(20));

    const auto& rules = result.manifest.items[3];
    EXPECT_EQ(rules.status, Status::failed);
    EXPECT_EQ(rules.sourcePath, items[3].sourcePath);
    EXPECT_EQ(readFile(latest / "Codex/rules/r.rules"), "rules");
    EXPECT_EQ(readFile(latest / "Codex/rules/new.rules"), "new") << "every readable entry is still copied";

    const auto& agents = result.manifest.items[1];
    EXPECT_EQ(agents.status, Status::failed) << "a source that cannot be examined is not missing";
    EXPECT_NE(agents.message->find("permission was denied. The copy from the previous backup was kept."), std::string::npos)
        << *agents.message;
    EXPECT_EQ(readFile(latest / "Codex/AGENTS.md"), "agents");
    EXPECT_EQ(result.manifest.warnings,
              (std::vector<std::string>{"Global AGENTS.md failed: " + *agents.message, "Codex rules failed: " + *rules.message}));
    EXPECT_EQ(result.copiedItemCount(), 4);
}

TEST_F(BackupServiceTest, ABackupRootInsideASourceFailsThatItemEvenThroughALink) {
    settings.destinationRootPath = (home / ".codex/skills/backups").string();
    auto result = run();
    const auto& skills = result.manifest.items[4];
    EXPECT_EQ(skills.status, Status::failed);
    EXPECT_EQ(*skills.message, "Backup destination " + skills.destinationPath + " cannot be inside source " +
                                   (home / ".codex/skills").string() + ".");
    EXPECT_EQ(result.manifest.items[5].status, Status::copied);

    makeLink((home / ".codex/skills").string(), temp / "innocent");
    settings.destinationRootPath = (temp / "innocent/backups").string();
    EXPECT_NE(run().manifest.items[4].message.value_or("").find("cannot be inside source"), std::string::npos);
    // A sibling whose name merely begins with the source's is fine.
    settings.destinationRootPath = (home / ".codex/skills-backups").string();
    EXPECT_EQ(run().manifest.items[4].status, Status::copied);
}

TEST_F(BackupServiceTest, AnUnusableRootEndsTheRunBeforeAnythingIsCreated) {
    const Tree homeBefore = treeOf(home);
    // With the NUL the system would see the home folder itself, and work there.
    for (const std::string& bad : {std::string(), std::string("Backups"), std::string("~/Backups"), home.string() + '\0'}) {
        settings.destinationRootPath = bad;
        const std::string failure = failureOf<InvalidDestinationError>([&] { run(); });
        EXPECT_FALSE(failure.empty()) << "ran with " << bad;
        if (bad.find('\0') != std::string::npos) {
            EXPECT_EQ(failure, "The backup folder setting holds a NUL character after " + quotedPath(home.string()) +
                                   ", and no path can hold one.");
        }
    }
    EXPECT_FALSE(real.examine(root).exists());
    EXPECT_EQ(treeOf(home), homeBefore);
}

// Latest and the day's snapshot are published each on its own: one that fails keeps
// what it held and leaves nothing half-made, and the other is published all the same.
TEST_F(BackupServiceTest, EachPublishEndsWholeOnItsOwnAndLatestsErrorComesFirst) {
    struct Case {
        std::vector<std::tuple<const char*, const char*, int>> faults;
        std::string error, inLatest, inSnapshot;
    };
    const std::vector<Case> cases{
        {{{"copyItem", "manifest.json", ENOSPC}}, "the disk is full", "v1", "agents"},
        {{{"exchangeItems", "/.staging-", EACCES}}, "permission was denied", "v1", "v2"},
        // Both fail: the message is latest's.
        {{{"exchangeItems", "Snapshots", EACCES}, {"exchangeItems", "/.staging-", ENOSPC}}, "the disk is full", "v1", "v2"},
        // The clean-up after both are published fails: the run still ends with its error.
        {{{"removeItem", "2020-01-01", EACCES}}, "permission was denied", "v4", "v4"},
    };
    run(marchDay(20, 9));
    // For the clean-up to remove once both are published: the oldest of eight snapshots.
    writeFile(snapshots / "2020-01-01", "");
    for (int d = 21; d <= 26; ++d) makeFolder(snapshotOf(marchDay(d)));
    for (int i = 0; i < 4; ++i) {
        FaultInjectingFileManager failing(real);
        for (const auto& [operation, pathPart, code] : cases[i].faults) failing.failWhen(operation, pathPart, code, 1);
        writeFile(home / ".codex/AGENTS.md", "v" + std::to_string(i + 1));
        const std::string failure = failureOf<std::runtime_error>([&] { run(failing, marchDay(20, 10 + i)); });
        EXPECT_NE(failure.find(cases[i].error), std::string::npos) << i << ": " << failure;
        EXPECT_EQ(readFile(latest / "Codex/AGENTS.md"), cases[i].inLatest) << i;
        EXPECT_EQ(readFile(snapshotOf(marchDay(20)) / "Codex/AGENTS.md"), cases[i].inSnapshot) << i;
        EXPECT_EQ(namesIn(machine), (std::set<std::string>{"Snapshots", "latest"})) << i;
        EXPECT_EQ(namesIn(snapshots).size(), 8u) << i;
    }
}

TEST_F(BackupServiceTest, CleanupRemovesNumberedCopiesOfManagedNamesOnlyAndKeepsSevenSnapshots) {
    for (int d = 10; d <= 19; ++d) run(marchDay(d));
    for (const auto* name : {"latest 2/x", "Snapshots  3", "Latest 2", "notes 2"}) makeFolder(machine / name);
    // "2024-01-01 2" stays: its day is not there.
    for (const auto* name : {"2025-03-19 2", "2024-01-01 2", "2025-13-01"}) makeFolder(snapshots / name);
    writeFile(snapshots / ".DS_Store", "");
    run(marchDay(20));

    EXPECT_EQ(namesIn(machine), (std::set<std::string>{"Latest 2", "Snapshots", "latest", "notes 2"}));
    std::set<std::string> kept{".DS_Store", "2025-13-01", "2024-01-01 2"};
    for (int d = 14; d <= 20; ++d) kept.insert(snapshotFolderName(marchDay(d)));
    EXPECT_EQ(namesIn(snapshots), kept);
}

}  // namespace
}  // namespace brindle::testing
