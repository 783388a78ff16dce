#pragma once

#include <string>
#include <vector>

namespace brindle::cli {

enum class Command { tray, backup, list, restore, help, version, usageError };

struct ParsedCommandLine {
    Command command = Command::tray;
    std::string problem;                // for usageError: what was wrong, in a sentence
    std::vector<std::string> operands;  // restore: the backup and item ids, as given
    bool json = false;                  // list --json
    bool dryRun = false;                // restore --dry-run
};

// The arguments after the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string helpText();
std::string versionText();

// Exit statuses that scripts and timers can tell apart.
namespace exit_status {
constexpr int success = 0;
constexpr int failed = 1;
constexpr int usage = 2;
constexpr int incomplete = 3;
}  // namespace exit_status

}  // namespace brindle::cli
