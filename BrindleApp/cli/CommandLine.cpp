#include "BrindleApp/cli/CommandLine.h"

namespace brindle::cli {

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return {Command::tray, ""};
    const std::string& first = arguments.front();
    Command command;
    if (first == "backup") {
        command = Command::backup;
    } else if (first == "--help" || first == "-h" || first == "help") {
        command = Command::help;
    } else if (first == "--version" || first == "-V") {
        command = Command::version;
    } else {
        return {Command::usageError, "unknown command \u201C" + first + "\u201D."};
    }
    // "brindle backup --help" asks for help, as every command's does.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--help" || arguments[i] == "-h") return {Command::help, ""};
    }
    if (arguments.size() > 1)
        return {Command::usageError, "\u201C" + first + "\u201D takes no arguments, but \u201C" + arguments[1] + "\u201D was given."};
    return {command, ""};
}

std::string helpText() {
    return "Usage: brindle [backup | --help | --version]\n"
           "\n"
           "Brindle keeps a rolling backup of the Codex agent's own files: its automations,\n"
           "AGENTS.md, config.toml, rules and skills under ~/.codex, and the shared skills\n"
           "under ~/.agents.\n"
           "\n"
           "  brindle            start the tray application, which backs up at start-up and\n"
           "                     then on its schedule (every 30 minutes by default)\n"
           "  brindle backup     make one backup now and exit; works without a desktop\n"
           "  brindle --help     show this text\n"
           "  brindle --version  show the installed version\n"
           "\n"
           "Settings are read from $XDG_CONFIG_HOME/Brindle/settings.json (else\n"
           "~/.config/Brindle/settings.json); `brindle backup` never changes them.\n"
           "\n"
           "Exit status of `brindle backup`: 0 backed up, 3 backed up but at least one item\n"
           "failed, 1 the backup failed, 2 the command line was not understood.\n";
}

std::string versionText() { return std::string("Brindle ") + BRINDLE_VERSION + "\n"; }

}  // namespace brindle::cli
