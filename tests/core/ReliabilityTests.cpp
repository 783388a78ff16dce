#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "BrindleCore/BackupService.h"
#include "BrindleCore/BackupServiceError.h"
#include "BrindleCore/SettingsStore.h"
#include "BrindleCore/SnapshotNames.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/PrivateTmpfs.h"

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

class ReliabilityTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    PosixFileManager real;
    Path home = temp / "home";
    Path root = temp / "root";
    Path machine = root / "box";
    BackupSettings settings{root.string(), {}, 30};
    std::vector<BackupItem> items;

    void SetUp() override {
        items = DefaultBackupItems::items(home);
        for (const auto& item : items) settings.enabledItemIDs.insert(item.id);
    }
    BackupResult run(FileManager& files, Timestamp now = Timestamp{sys_days{year{2025} / 5 / 1} + hours{9}}) {
        return BackupService(files, [] { return std::string("box"); }).run(settings, items, now);
    }
    std::set<std::string> machineEntries() {
        std::set<std::string> names;
        for (auto& e : real.contentsOfDirectory(machine)) names.insert(e.filename().string());
        return names;
    }
};

TEST_F(ReliabilityTest, ChangesUnderTheWalkNeverBreakARun) {
    for (int i = 0; i < 20; ++i) writeFile(home / ".codex/skills/s" / std::to_string(i) / "SKILL.md", "v1");
    writeFile(home / ".agents/skills/x/a", "a");
    FaultInjectingFileManager files(real);
    int step = 0;
    files.beforeEach = [&](const std::string& operation, const Path& path) {
        if (operation != "copyItem" || path.string().find("/.codex/skills/") == std::string::npos) return;
        std::error_code ignored;
        switch (step++) {
        case 2: writeFile(home / ".codex/skills/s19/new-file", "appeared"); break;                 // appears
        case 4: std::filesystem::remove_all(home / ".codex/skills/s18", ignored); break;           // folder goes
        case 6: std::filesystem::remove(home / ".codex/skills/s17/SKILL.md", ignored); break;      // file goes
        case 8:
            std::filesystem::remove_all(home / ".codex/skills/s16", ignored);
            makeLink("/etc", home / ".codex/skills/s16");                                            // becomes a link
            break;
        default: break;
        }
    };
    auto result = run(files);
    const auto& skills = result.manifest.items[4];
    // A file that vanished mid-walk fails the item loudly, naming it; otherwise it is copied.
    if (skills.status == Status::failed) {
        EXPECT_NE(skills.message->find(home.string()), std::string::npos) << *skills.message;
    } else {
        EXPECT_EQ(skills.status, Status::copied);
    }
    EXPECT_EQ(result.manifest.items[5].status, Status::copied);
    EXPECT_EQ(machineEntries(), (std::set<std::string>{"Snapshots", "latest"}));
    // A link that replaced a folder is copied as a link, never followed out of the tree.
    files.beforeEach = nullptr;
    run(real);
    struct stat status {};
    ASSERT_EQ(lstat((machine / "latest/Codex/skills/s16").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
}

TEST_F(ReliabilityTest, OddSourceTreesAreCopiedOrFailLoudly) {
    const Path skills = home / ".agents/skills";
    writeFile(skills / "new\nline", "newline");
    writeFile(skills / "bad\xFF\xFEname", "bytes");
    writeFile(skills / std::string(255, 'n'), "long");
    makeLink("loop-b", skills / "loop-a");
    makeLink("loop-a", skills / "loop-b");
    ASSERT_EQ(mkfifo((skills / "fifo").c_str(), 0600), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (skills / "s").string();
    if (socketPath.size() < sizeof address.sun_path) {
        std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
        ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    Path deep = home / ".codex/rules";
    for (int i = 0; i < 120; ++i) deep /= "level";
    writeFile(deep / "bottom.rules", "deep");

    auto result = run(real);
    close(sock);
    EXPECT_EQ(result.manifest.items[5].status, Status::copied) << result.manifest.items[5].message.value_or("");
    EXPECT_EQ(result.manifest.items[3].status, Status::copied) << result.manifest.items[3].message.value_or("");
    const auto latest = treeOf(machine / "latest/Agents/skills");
    EXPECT_EQ(latest.at("new\nline"), "newline");
    EXPECT_EQ(latest.at("bad\xFF\xFEname"), "bytes");
    EXPECT_EQ(latest.at(std::string(255, 'n')), "long");
    EXPECT_EQ(latest.at("loop-a"), "-> loop-b");
    EXPECT_EQ(latest.at("fifo"), "<special>");
    EXPECT_EQ(readFile(machine / "latest/Codex/rules" / deep.lexically_relative(home / ".codex/rules") / "bottom.rules"), "deep");
    // The manifest stays valid JSON whatever bytes the names held.
    EXPECT_NO_THROW(backupManifestFromJson(readFile(machine / "latest/manifest.json")));

    // Deeper than a path may be long: the item fails, naming where, and nothing is lost silently.
    Path tooDeep = home / ".codex/automations";
    for (int i = 0; i < 500; ++i) tooDeep /= "deeper-level";
    std::error_code ignored;
    ASSERT_EQ(mkdir((home / ".codex/automations").c_str(), 0755), 0);
    int fd = open((home / ".codex/automations").c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 500; ++i) {
        mkdirat(fd, "deeper-level", 0755);
        int next = openat(fd, "deeper-level", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    int file = openat(fd, "leaf", O_WRONLY | O_CREAT, 0644);
    close(file);
    close(fd);
    result = run(real);
    const auto& automations = result.manifest.items[0];
    EXPECT_EQ(automations.status, Status::failed);
    EXPECT_NE(automations.message->find("name is too long"), std::string::npos) << *automations.message;
}

TEST_F(ReliabilityTest, BadSettingsFilesFallBackToTheDefaultsUntouched) {
    const Path file = temp / "config/Brindle/settings.json";
    std::string deep(100000, '[');
    const std::vector<std::string> corpus{
        R"({"backupIntervalMinutes": 30, "destinationRootPath": "/x", "enabledI)",
        R"({"backupIntervalMinutes": true, "destinationRootPath": "/x", "enabledItemIDs": []})",
        R"({"backupIntervalMinutes": 30, "destinationRootPath": ["/x"], "enabledItemIDs": []})",
        R"({"backupIntervalMinutes": 123456789012345678901234567890, "destinationRootPath": "/x", "enabledItemIDs": []})",
        R"({"backupIntervalMinutes": -9223372036854775809, "destinationRootPath": "/x", "enabledItemIDs": []})",
        "{\"backupIntervalMinutes\": 30, \"destinationRootPath\": \"/x\xFF\", \"enabledItemIDs\": []}",
        deep,
        "\xEF\xBB\xBF",
        std::string(8 << 20, ' ') + "{",
        "null",
    };
    const BackupSettings defaults = BackupSettings::defaults(home, real);
    for (const auto& contents : corpus) {
        writeFile(file, contents);
        SettingsStore store(real, file, home);
        EXPECT_EQ(store.settings(), defaults) << contents.substr(0, 80);
        EXPECT_EQ(readFile(file), contents);
    }
    // Extremes that are valid are taken as they are.
    writeFile(file, R"({"backupIntervalMinutes": -9223372036854775808, "destinationRootPath": "", "enabledItemIDs": []})");
    EXPECT_EQ(SettingsStore(real, file, home).settings().backupIntervalMinutes, INT64_MIN);
}

TEST_F(ReliabilityTest, AFullDiskFailsOnlyTheItemWhileStaging) {
    writeFile(home / ".codex/AGENTS.md", "small");
    writeFile(home / ".codex/skills/big/blob.bin", std::string(2 << 20, 'b'));
    makeFolder(root);
    auto outcome = testing::withPrivateTmpfs(root, "1m", [&]() -> std::string {
        auto result = run(real);
        const auto& agents = result.manifest.items[1];
        const auto& skills = result.manifest.items[4];
        if (agents.status != Status::copied) return "AGENTS.md was not copied";
        if (skills.status != Status::failed) return "the big item did not fail";
        const std::string expected =
            "Could not copy \u201C" + (home / ".codex/skills/big/blob.bin").string() + "\u201D: the disk is full.";
        if (*skills.message != expected) return "message: " + *skills.message;
        if (readFile(machine / "latest/Codex/AGENTS.md") != "small") return "latest lacks AGENTS.md";
        return "";
    });
    if (!outcome.available) GTEST_SKIP() << "no private mount namespace here: " << outcome.failure;
    EXPECT_EQ(outcome.failure, "");
}

TEST_F(ReliabilityTest, AFullDiskWhilePublishingKeepsThePreviousLatestWhole) {
    writeFile(home / ".codex/skills/mid/blob.bin", std::string(300 << 10, 'm'));
    makeFolder(root);
    auto outcome = testing::withPrivateTmpfs(root, "1m", [&]() -> std::string {
        run(real, Timestamp{sys_days{year{2025} / 5 / 1}});
        const Tree before = treeOf(machine / "latest");
        writeFile(home / ".codex/skills/mid/extra.txt", "x");
        try {
            run(real, Timestamp{sys_days{year{2025} / 5 / 2}});
            return "the second run fit on the disk";
        } catch (const BackupServiceError& error) {
            if (std::string(error.what()).find("the disk is full") == std::string::npos) return error.what();
        }
        if (treeOf(machine / "latest") != before) return "latest changed";
        if (machineEntries() != std::set<std::string>{"Snapshots", "latest"}) return "leftovers in the machine folder";
        return "";
    });
    if (!outcome.available) GTEST_SKIP() << "no private mount namespace here: " << outcome.failure;
    EXPECT_EQ(outcome.failure, "");
}

// A thousand runs over forty days (more with BRINDLE_SOAK_RUNS): never more than
// seven snapshots, nothing left behind, latest always what the sources hold.
TEST_F(ReliabilityTest, SoakOverFortyDays) {
    const char* requested = std::getenv("BRINDLE_SOAK_RUNS");
    const int runs = requested ? std::atoi(requested) : 1000;
    writeFile(home / ".codex/AGENTS.md", "0");
    writeFile(home / ".codex/skills/a/SKILL.md", "skill");
    const Timestamp start{sys_days{year{2025} / 1 / 1}};
    const auto step = duration_cast<seconds>(days{40}) / runs;
    for (int i = 0; i < runs; ++i) {
        if (i % 37 == 0) writeFile(home / ".codex/AGENTS.md", std::to_string(i));
        auto result = run(real, start + step * i);
        ASSERT_EQ(result.copiedItemCount(), 2) << "run " << i;
        if (i % 50 == 0 || i == runs - 1) {
            ASSERT_LE(real.contentsOfDirectory(machine / "Snapshots").size(), 7u) << "run " << i;
            ASSERT_EQ(machineEntries(), (std::set<std::string>{"Snapshots", "latest"})) << "run " << i;
            ASSERT_EQ(readFile(machine / "latest/Codex/AGENTS.md"), readFile(home / ".codex/AGENTS.md")) << "run " << i;
        }
    }
}

}  // namespace
}  // namespace brindle
