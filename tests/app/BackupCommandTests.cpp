#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "BrindleCore/BackupSettings.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ProgramRunner.h"

namespace brindle {
namespace {

using testing::makeFolder;
using testing::readFile;
using testing::RunningProgram;
using testing::runProgram;
using testing::TemporaryFolder;
using testing::treeOf;
using testing::writeFile;

class BackupCommandTest : public ::testing::Test {
protected:
    TemporaryFolder temp{testing::memoryBackedTemporaryBase()};
    Path home = temp / "home";
    Path config = temp / "config";
    Path root = home / "Brindle Backups";

    void SetUp() override {
        writeFile(home / ".codex/AGENTS.md", "Be kind.");
        writeFile(home / ".codex/config.toml", "model = 1");
        writeFile(home / ".codex/rules/default.rules", "allow");
        writeFile(home / ".codex/skills/pdf/SKILL.md", "pdf");
        writeFile(home / ".codex/skills/.system/x", "excluded");
        writeFile(home / ".agents/skills/review/SKILL.md", "review");
        for (int i = 0; i < 200; ++i) writeFile(home / ".agents/skills/bulk" / (std::to_string(i) + ".md"), std::string(1000, 'b'));
    }
    std::map<std::string, std::string> environment() {
        return {{"HOME", home.string()}, {"XDG_CONFIG_HOME", config.string()}, {"XDG_RUNTIME_DIR", (temp / "run").string()}};
    }
    testing::ProgramOutcome brindle(std::vector<std::string> arguments) {
        return runProgram(BRINDLE_BINARY, arguments, environment(), temp.path());
    }
    void writeSettings(const BackupSettings& settings) { writeFile(config / "Brindle/settings.json", toJson(settings)); }
    Path machineFolder() {
        PosixFileManager files;
        auto entries = files.contentsOfDirectory(root);
        EXPECT_EQ(entries.size(), 1u);
        return entries.empty() ? root : entries.front();
    }
    std::map<std::string, std::string> expectedLatest() {
        auto tree = treeOf(machineFolder() / "latest");
        tree.erase("manifest.json");
        return tree;
    }
    std::map<std::string, std::string> sources() {
        std::map<std::string, std::string> tree{{"Codex", "<dir>"}, {"Agents", "<dir>"}};
        for (auto& [path, contents] : treeOf(home / ".codex")) {
            if (path.rfind("skills/.system", 0) != 0) tree["Codex/" + path] = contents;
        }
        for (auto& [path, contents] : treeOf(home / ".agents")) tree["Agents/" + path] = contents;
        return tree;
    }
};

TEST_F(BackupCommandTest, BacksUpAndReportsEachItem) {
    auto outcome = brindle({"backup"});
    ASSERT_EQ(outcome.exitStatus, 0) << outcome.err;
    const Path latest = machineFolder() / "latest";
    EXPECT_EQ(outcome.out.substr(0, outcome.out.find('\n')), "Backed up 5 of 6 items to " + latest.string());
    EXPECT_NE(outcome.out.find("  copied   Custom Codex skills (1 file, 3 bytes)\n"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("  copied   Agent skills (201 files, 200006 bytes)\n"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("  missing  Codex automations was not found at " + (home / ".codex/automations").string()),
              std::string::npos);
    EXPECT_TRUE(outcome.err.empty()) << "nothing interactive when not on a terminal: " << outcome.err;
    EXPECT_EQ(expectedLatest(), sources());
    EXPECT_FALSE(PosixFileManager().examine(config / "Brindle/settings.json").exists()) << "the command wrote settings";
}

TEST_F(BackupCommandTest, TheWorkingLineAppearsOnlyWhenBothStreamsAreATerminal) {
    // script(1) gives the command a terminal and records what reached it.
    auto onTerminal = [&](const std::string& redirect) {
        const std::string command = "'" + std::string(BRINDLE_BINARY) + "' backup" + redirect;
        auto outcome = runProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, environment(), temp.path());
        EXPECT_EQ(outcome.exitStatus, 0) << outcome.out << outcome.err;
        return outcome.out;
    };
    const std::string watched = onTerminal("");
    EXPECT_NE(watched.find("Backing up Codex files...\r\033[K"), std::string::npos) << watched;
    EXPECT_NE(watched.find("Backed up 5 of 6 items"), std::string::npos) << watched;

    const std::string toFile = onTerminal(" > '" + (temp / "report.txt").string() + "'");
    EXPECT_EQ(toFile.find("Backing up"), std::string::npos) << "output sent to a file is not watched: " << toFile;
    EXPECT_EQ(readFile(temp / "report.txt").find("Backing up"), std::string::npos);
}

TEST_F(BackupCommandTest, ExitStatusesTellIncompleteFromFailed) {
    auto usage = brindle({"frobnicate"});
    EXPECT_EQ(usage.exitStatus, 2);
    EXPECT_NE(usage.err.find("unknown command \u201Cfrobnicate\u201D"), std::string::npos);
    EXPECT_EQ(brindle({"backup", "now"}).exitStatus, 2);
    auto version = brindle({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("Brindle ", 0), 0u);
    EXPECT_NE(brindle({"--help"}).out.find("brindle backup"), std::string::npos);
    const auto commandHelp = brindle({"backup", "--help"});
    EXPECT_EQ(commandHelp.exitStatus, 0) << commandHelp.err;
    EXPECT_NE(commandHelp.out.find("brindle backup"), std::string::npos);

    // A root inside a source fails that item: the backup exists but is incomplete.
    root = home / ".codex/skills/backups";
    writeSettings(BackupSettings{root.string(), {"codex-skills", "codex-rules"}, 30});
    auto incomplete = brindle({"backup"});
    EXPECT_EQ(incomplete.exitStatus, 3) << incomplete.out << incomplete.err;
    EXPECT_NE(incomplete.out.find("  failed   Custom Codex skills: Backup destination "), std::string::npos) << incomplete.out;
    EXPECT_NE(incomplete.out.find("Warning: Custom Codex skills failed: "), std::string::npos) << incomplete.out;
}

TEST_F(BackupCommandTest, ABadRootFailsBeforeCreatingAnythingAndSettingsStayByteForByte) {
    const std::string settings =
        "{\"enabledItemIDs\": [\"codex-rules\"], \"destinationRootPath\": \"Backups\", \"backupIntervalMinutes\": 7, \"x\": 1}";
    writeFile(config / "Brindle/settings.json", settings);
    struct stat before {};
    stat((config / "Brindle/settings.json").c_str(), &before);
    auto outcome = brindle({"backup"});
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(outcome.err, "Backup failed: The backup folder \u201CBackups\u201D must be an absolute path, one that starts with \u201C/\u201D.\n");
    EXPECT_TRUE(outcome.out.empty());
    EXPECT_FALSE(PosixFileManager().examine(temp / "Backups").exists());
    EXPECT_EQ(readFile(config / "Brindle/settings.json"), settings);
    struct stat after {};
    stat((config / "Brindle/settings.json").c_str(), &after);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(BackupCommandTest, ARootWithANulCharacterChangesNothing) {
    // Cut at the NUL, this root is the home folder itself, whose files a run would replace.
    writeFile(config / "Brindle/settings.json", "{\"backupIntervalMinutes\": 30, \"destinationRootPath\": \"" +
                                                   home.string() + "\\u0000\", \"enabledItemIDs\": [\"codex-rules\"]}");
    const auto before = treeOf(home);
    const auto outcome = brindle({"backup"});
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(outcome.err, "Backup failed: The backup folder setting holds a NUL character after \u201C" + home.string() +
                               "\u201D, and no path can hold one.\n");
    EXPECT_EQ(treeOf(home), before);
}

// The tray falls back to the defaults in silence; the command names the file it
// passed over, so that a hand-edited file off by one key is not missed.
TEST_F(BackupCommandTest, AnUnusableSettingsFileIsNamedAndTheDefaultsAreUsed) {
    writeFile(config / "Brindle/settings.json", R"({"destinationRootPath": "/elsewhere", "enabledItemIDs": []})");
    const auto outcome = brindle({"backup"});
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "Ignored the settings file \u201C" + (config / "Brindle/settings.json").string() +
                               "\u201D and used the default settings: The settings file is not valid: "
                               "\"backupIntervalMinutes\" is missing.\n");
    EXPECT_EQ(expectedLatest(), sources());
}

// The day's snapshot is named by the day `date` shows, also in zones whose offset has
// minutes or is written with <> quotes.
TEST_F(BackupCommandTest, TheSnapshotIsNamedByTheDayDateShows) {
    for (const std::string tz : {"<+14>-14", "<-12>12", "IST-5:30"}) {
        auto env = environment();
        env["TZ"] = tz;
        const auto before = runProgram("/bin/date", {"+%F"}, env, temp.path()).out;
        ASSERT_EQ(runProgram(BRINDLE_BINARY, {"backup"}, env, temp.path()).exitStatus, 0);
        const auto after = runProgram("/bin/date", {"+%F"}, env, temp.path()).out;
        const Path snapshots = machineFolder() / "Snapshots";
        EXPECT_TRUE(std::filesystem::exists(snapshots / before.substr(0, 10)) ||
                    std::filesystem::exists(snapshots / after.substr(0, 10)))
            << tz << ": no snapshot named " << before;
    }
}

}  // namespace
}  // namespace brindle
