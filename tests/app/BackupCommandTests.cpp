#include "tests/app/ProgramFixture.h"

namespace brindle::testing {
namespace {

class BackupCommandTest : public ProgramFixture {};

// The snapshot is named by the day `date` shows: at any hour one of these zones is on
// another day than UTC, and one has minutes in its offset.
TEST_F(BackupCommandTest, ReportsEachItemNamesTheSnapshotByTheDayDateShowsIsWatchedOnATerminalAndNamesAnUnusableSettingsFile) {
    for (int i = 0; i < 200; ++i) writeFile(home / ".agents/skills/bulk" / (std::to_string(i) + ".md"), std::string(1000, 'b'));
    const std::string settings = readFile(config / "Brindle/settings.json");
    for (const std::string tz : {"<+1345>-13:45", "<-12>12"}) {
        auto today = [&] { return RunningProgram("/bin/date", {"+%F"}, {{"TZ", tz}}, temp.path()).wait().out.substr(0, 10); };
        const auto before = today();
        const auto outcome = brindle({"backup"}, {{"TZ", tz}});
        ASSERT_EQ(outcome.exitStatus, 0) << outcome.err;
        EXPECT_TRUE(std::filesystem::exists(machine() / "Snapshots" / before) || std::filesystem::exists(machine() / "Snapshots" / today()))
            << tz << ": no snapshot named " << before;
        EXPECT_EQ(outcome.out.substr(0, outcome.out.find('\n')), "Backed up 4 of 6 items to " + (machine() / "latest").string());
        for (const std::string& line : std::vector<std::string>{
                 "  copied   Custom Codex skills (1 file, 3 bytes)\n", "  copied   Agent skills (201 files, 200006 bytes)\n",
                 "  missing  Codex automations was not found at " + (home / ".codex/automations").string() + ".\n"})
            EXPECT_NE(outcome.out.find(line), std::string::npos) << outcome.out;
        EXPECT_TRUE(outcome.err.empty()) << "nothing interactive when not on a terminal: " << outcome.err;
    }
    EXPECT_TRUE(holds(machine() / "latest", backupOfSources()));
    EXPECT_EQ(readFile(config / "Brindle/settings.json"), settings);

    // script(1) gives the command a terminal and records what reached it.
    auto onTerminal = [&](const std::string& redirect) {
        const auto outcome = RunningProgram("/usr/bin/script", {"-qec", "'" + std::string(BRINDLE_BINARY) + "' backup" + redirect,
                                            "/dev/null"}, environment(), temp.path()).wait();
        EXPECT_EQ(outcome.exitStatus, 0) << outcome.out << outcome.err;
        return outcome.out;
    };
    const std::string watched = onTerminal("");
    EXPECT_NE(watched.find("Backing up Codex files...\r\033[K"), std::string::npos) << watched;
    EXPECT_NE(watched.find("Backed up 4 of 6 items"), std::string::npos) << watched;
    EXPECT_EQ(onTerminal(" > '" + (temp / "report.txt").string() + "'").find("Backing up"), std::string::npos);
    EXPECT_EQ(readFile(temp / "report.txt").find("Backing up"), std::string::npos) << "output sent to a file is not watched";

    // A root inside a source fails that item: the backup is made, but incomplete.
    writeSettings({(home / ".codex/skills/backups").string(), {"codex-skills", "codex-rules"}, 30});
    const auto incomplete = brindle({"backup"});
    EXPECT_EQ(incomplete.exitStatus, 3) << incomplete.out << incomplete.err;
    EXPECT_NE(incomplete.out.find("  failed   Custom Codex skills: Backup destination "), std::string::npos) << incomplete.out;
    EXPECT_NE(incomplete.out.find("Warning: Custom Codex skills failed: "), std::string::npos) << incomplete.out;

    // The tray falls back to the defaults in silence; the command names the file it
    // passed over, so that a hand-edited file off by one key is not missed.
    writeFile(config / "Brindle/settings.json", R"({"destinationRootPath": "/elsewhere", "enabledItemIDs": []})");
    const auto defaults = brindle({"backup"});
    EXPECT_EQ(defaults.exitStatus, 0) << defaults.err;
    EXPECT_EQ(defaults.err, "Ignored the settings file \u201C" + (config / "Brindle/settings.json").string() +
                                "\u201D and used the default settings: The settings file is not valid: "
                                "\"backupIntervalMinutes\" is missing.\n");
    root = home / "Brindle Backups";
    EXPECT_TRUE(holds(machine() / "latest", backupOfSources()));
}

}  // namespace
}  // namespace brindle::testing
