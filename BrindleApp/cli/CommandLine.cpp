#include "BrindleApp/cli/CommandLine.h"

namespace brindle::cli {

namespace {

std::string quoted(const std::string& word) { return "\u201C" + word + "\u201D"; }

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return {Command::tray, "", {}, false, false};
    const std::string& first = arguments.front();
    ParsedCommandLine parsed;
    if (first == "backup") {
        parsed.command = Command::backup;
    } else if (first == "list") {
        parsed.command = Command::list;
    } else if (first == "restore") {
        parsed.command = Command::restore;
    } else if (first == "--help" || first == "-h" || first == "help") {
        parsed.command = Command::help;
    } else if (first == "--version" || first == "-V") {
        parsed.command = Command::version;
    } else {
        return {Command::usageError, "unknown command " + quoted(first) + ".", {}, false, false};
    }
    // "brindle backup --help" asks for help, as every command's does.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--help" || arguments[i] == "-h") return {Command::help, "", {}, false, false};
    }
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (parsed.command == Command::list && word == "--json") {
            parsed.json = true;
        } else if (parsed.command == Command::restore && word == "--dry-run") {
            parsed.dryRun = true;
        } else if (parsed.command == Command::restore && !word.empty() && word.front() != '-') {
            parsed.operands.push_back(word);
        } else {
            const std::string problem = word.empty() || word.front() != '-'
                                            ? quoted(first) + " takes no arguments, but " + quoted(word) + " was given."
                                            : quoted(first) + " has no option " + quoted(word) + ".";
            return {Command::usageError, problem, {}, false, false};
        }
    }
    return parsed;
}

std::string helpText() {
    return "Usage: brindle [backup | list [--json] | restore [BACKUP] [ITEM-ID...] [--dry-run]\n"
           "               | --help | --version]\n"
           "\n"
           "Brindle keeps a rolling backup of the Codex agent's own files: its automations,\n"
           "AGENTS.md, config.toml, rules and skills under ~/.codex, and the shared skills\n"
           "under ~/.agents.\n"
           "\n"
           "  brindle            start the tray application, which backs up at start-up and\n"
           "                     then on its schedule (every 30 minutes by default)\n"
           "  brindle backup     make one backup now and exit; works without a desktop\n"
           "  brindle list       list this computer's backups, newest first: when each was\n"
           "                     made and what became of each item\n"
           "  brindle restore    put items back from a backup (see below)\n"
           "  brindle --help     show this text\n"
           "  brindle --version  show the installed version\n"
           "\n"
           "brindle list --json prints one JSON object: \"machineFolder\" (the folder listed)\n"
           "and \"backups\", each with \"kind\" (latest, snapshot or undo), \"name\", \"path\",\n"
           "\"manifestReadable\" and, when it is readable, \"createdAt\" (local time with its\n"
           "offset) and \"items\" (each with \"id\", \"displayName\", \"status\" (copied, missing\n"
           "or failed), \"fileCount\", \"byteCount\" and, when there is one, \"message\"), or\n"
           "else \"manifestError\".\n"
           "\n"
           "brindle restore [latest | YYYY-MM-DD | PATH] [ITEM-ID...] [--dry-run]\n"
           "  puts the backup's copy of each item back where the item belongs: every item\n"
           "  the backup copied, or the ones named (codex-automations, codex-agents,\n"
           "  codex-config, codex-rules, codex-skills, agent-skills). The backup is latest\n"
           "  unless a snapshot's date or the absolute PATH of a backup folder is given.\n"
           "  Each item is replaced whole or not at all; what backups leave out\n"
           "  (~/.codex/skills/.system and codex-primary-runtime,\n"
           "  ~/.codex/automations/.run-jitter-salt) is kept as it is. What is replaced is\n"
           "  first saved in the backup folder's Undo folder, and the output says how to\n"
           "  put it back. --dry-run shows what would change and changes nothing.\n"
           "\n"
           "Settings are read from $XDG_CONFIG_HOME/Brindle/settings.json (else\n"
           "~/.config/Brindle/settings.json); the commands never change them.\n"
           "\n"
           "Exit status: 0 done; 3 done, but at least one item failed; 1 the backup or\n"
           "restore failed or was refused (the reason is on standard error); 2 the command\n"
           "line was not understood.\n";
}

std::string versionText() { return std::string("Brindle ") + BRINDLE_VERSION + "\n"; }

}  // namespace brindle::cli
