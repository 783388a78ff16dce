#include <nlohmann/json.hpp>

#include "tests/app/ProgramFixture.h"

// `brindle list` and `brindle restore` as a user runs them, and command lines that do no work.
namespace brindle::testing {
namespace {

class RestoreCommandTest : public ProgramFixture {};

// One backup serves every command: a listing with a manifest that cannot be read, refusals
// and command lines that ask for no work, then a dry run, the restore it showed, and its undo.
TEST_F(RestoreCommandTest, ListsRefusesAndRestoresWhatADryRunShowedAndUndoesIt) {
    ASSERT_EQ(brindle({"backup"}).exitStatus, 0);
    const Path skills = home / ".codex/skills";
    writeFile(machine() / "Snapshots/2001-01-01/manifest.json", "{");
    const auto listed = brindle({"list"});
    ASSERT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_NE(listed.out.find("\nlatest      made "), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("  copied   codex-skills       1 file, 3 bytes\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("  missing  codex-automations\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\n2001-01-01  manifest unreadable: "), std::string::npos) << listed.out;

    const auto json = nlohmann::json::parse(brindle({"list", "--json"}, {{"TZ", "UTC"}}).out);
    EXPECT_EQ(json["machineFolder"], machine().string());
    ASSERT_EQ(json["backups"].size(), 3u) << json.dump(2);
    EXPECT_EQ(json["backups"][0]["kind"], "latest");
    EXPECT_EQ(json["backups"][0]["createdAt"].get<std::string>().substr(19), "+00:00");
    EXPECT_EQ(json["backups"][0]["items"][4]["fileCount"], 1);
    EXPECT_EQ(json["backups"][2]["name"], "2001-01-01");
    EXPECT_EQ(json["backups"][2]["manifestReadable"], false);
    EXPECT_TRUE(json["backups"][2]["manifestError"].is_string());

    writeFile(skills / "pdf/SKILL.md", "broken");
    writeFile(skills / "notes.md", "mine");
    writeFile(skills / ".system/x", "system, newer");
    const Tree broken = treeOf(home);
    // Each has its exit status and says what it says on the stream it belongs on.
    const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases{
        {{"restore", "codex-automations"}, 1, "Restore refused: The backup "},
        {{"restore", "--all"}, 2, "brindle: \u201Crestore\u201D has no option \u201C--all\u201D."},
        {{"list", "latest"}, 2, "brindle: \u201Clist\u201D takes no arguments, but \u201Clatest\u201D was given."},
        {{"backup", "now"}, 2, "brindle: \u201Cbackup\u201D takes no arguments, but \u201Cnow\u201D was given."},
        {{"frobnicate"}, 2, "brindle: unknown command \u201Cfrobnicate\u201D. Try \u201Cbrindle --help\u201D.\n"},
        {{"--help"}, 0, "Usage: brindle [backup"}, {{"backup", "--help"}, 0, "Usage: brindle [backup"}, {{"--version"}, 0, "Brindle "},
    };
    for (const auto& [arguments, status, message] : cases) {
        const auto outcome = brindle(arguments);
        EXPECT_EQ(outcome.exitStatus, status) << arguments.back();
        const auto& [said, unsaid] = status == 0 ? std::tie(outcome.out, outcome.err) : std::tie(outcome.err, outcome.out);
        EXPECT_EQ(said.substr(0, message.size()), message) << said;
        EXPECT_EQ(unsaid, "") << arguments.back();
    }
    EXPECT_FALSE(std::filesystem::exists(machine() / "Undo"));

    const auto dryRun = brindle({"restore", "codex-skills", "--dry-run"});
    EXPECT_EQ(dryRun.exitStatus, 0) << dryRun.err;
    EXPECT_NE(dryRun.out.find("  codex-skills  " + skills.string() + ": 0 added, 1 changed, 1 removed\n"
                              "      removed  notes.md\n      changed  pdf/SKILL.md\n      kept as it is: .system\n"),
              std::string::npos)
        << dryRun.out;
    EXPECT_EQ(treeOf(home), broken) << "a refusal or the dry run changed the home";

    const auto restored = brindle({"restore", "latest"});
    ASSERT_EQ(restored.exitStatus, 0) << restored.err;
    EXPECT_EQ(readFile(skills / "pdf/SKILL.md"), "pdf");
    EXPECT_FALSE(std::filesystem::exists(skills / "notes.md"));
    EXPECT_EQ(readFile(skills / ".system/x"), "system, newer");
    const std::string undo = restored.out.substr(restored.out.find("To undo: brindle restore '") + 26);
    ASSERT_NE(undo.find("'\n"), std::string::npos) << restored.out;

    const auto undone = brindle({"restore", undo.substr(0, undo.find("'\n"))});
    EXPECT_EQ(undone.exitStatus, 0) << undone.err;
    EXPECT_EQ(treeOf(home), broken);
    ASSERT_EQ(brindle({"backup"}).exitStatus, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(machine() / "Undo"), std::filesystem::directory_iterator()), 2);
}

}  // namespace
}  // namespace brindle::testing
