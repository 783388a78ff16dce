#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "BrindleCore/BackupSettings.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramRunner.h"

namespace brindle::testing {

// The real `brindle` at work on a home with something in four of the six items (and in
// a path the backup leaves out), with settings that send backups to a root of their own.
// `asUnprivileged` runs it as the unprivileged test user, on a copy of the program that
// user can reach; `inMemory` puts everything in a memory file system.
class ProgramFixture : public ::testing::Test {
protected:
    explicit ProgramFixture(bool inMemory = true, bool asUnprivileged = false)
        : temp(inMemory ? memoryBackedTemporaryBase() : Path(std::filesystem::temp_directory_path())),
          unprivileged_(asUnprivileged) {}

    TemporaryFolder temp;
    Path home = temp / "home";
    Path config = temp / "config";
    Path root = temp / "backups";

    void SetUp() override {
        if (unprivileged_ && geteuid() == 0 && access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "running as root without /usr/bin/setpriv: no unprivileged user to run as";
        writeFile(home / ".codex/AGENTS.md", "Be kind.");
        writeFile(home / ".codex/rules/default.rules", "allow");
        writeFile(home / ".codex/skills/pdf/SKILL.md", "pdf");
        writeFile(home / ".codex/skills/.system/x", "left out");
        writeFile(home / ".agents/skills/review/SKILL.md", "review");
        writeSettings({root.string(), {"codex-automations", "codex-agents", "codex-config", "codex-rules", "codex-skills", "agent-skills"}, 30});
        makeFolder(root);
        if (!unprivileged_) return;
        // The build folder may sit where the unprivileged user cannot reach it.
        std::filesystem::copy_file(BRINDLE_BINARY, temp / "brindle");
        chmod(temp.path().c_str(), 0755);
        handOver(temp.path());
    }

    void writeSettings(const BackupSettings& settings) { writeFile(config / "Brindle/settings.json", toJson(settings)); }
    std::map<std::string, std::string> environment() const {
        return {{"HOME", home.string()}, {"XDG_CONFIG_HOME", config.string()}};
    }
    RunningProgram start(const std::vector<std::string>& arguments, std::map<std::string, std::string> env = {}) {
        env.merge(environment());  // the test's own entries win
        if (!unprivileged_) return RunningProgram(BRINDLE_BINARY, arguments, env, temp.path());
        const auto command = unprivilegedCommand(temp / "brindle", arguments);
        return RunningProgram(command.front(), {command.begin() + 1, command.end()}, env, temp.path());
    }
    ProgramOutcome brindle(const std::vector<std::string>& arguments, std::map<std::string, std::string> env = {}) {
        return start(arguments, std::move(env)).wait();
    }

    // The one machine folder under the root.
    Path machine() const {
        for (auto& entry : std::filesystem::directory_iterator(root)) return entry.path();
        return root / "no machine folder";
    }
    // What a whole backup of the home holds now, the manifest aside.
    Tree backupOfSources() const {
        Tree tree{{"Codex", "<dir>"}, {"Agents", "<dir>"}};
        for (auto& [path, contents] : treeOf(home / ".codex"))
            if (path.rfind("skills/.system", 0) != 0) tree["Codex/" + path] = contents;
        for (auto& [path, contents] : treeOf(home / ".agents")) tree["Agents/" + path] = contents;
        return tree;
    }
    // Whether `folder` holds a whole backup with these contents and a readable manifest.
    static bool holds(const Path& folder, const Tree& contents) {
        Tree backup = treeOf(folder);
        if (backup.count("manifest.json") == 0 || backup.at("manifest.json").find("\"items\"") == std::string::npos) return false;
        backup.erase("manifest.json");
        return backup == contents;
    }
    // Names in the machine folder and in Snapshots that a run left behind.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& folder : {machine(), machine() / "Snapshots"})
            for (auto& entry : std::filesystem::directory_iterator(folder))
                if (entry.path().filename().string().front() == '.') names.push_back(entry.path().string());
        return names;
    }

    const bool unprivileged_;
};

}  // namespace brindle::testing
