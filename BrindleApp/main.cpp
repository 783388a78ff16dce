#include <sys/resource.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "BrindleApp/cli/BackupCommand.h"
#include "BrindleApp/cli/CommandLine.h"
#include "BrindleApp/cli/ListCommand.h"
#include "BrindleApp/cli/RestoreCommand.h"
#include "BrindleApp/qt/TrayProgram.h"

namespace {

// Walking, copying and removing a deep tree hold folders open; the soft limit on open
// files (1024 by default) is raised to what the system allows this process. Only for
// the commands: the tray starts other programs (a file manager), which would inherit
// the raised limit, and some of those still break above 1024 open files.
void raiseOpenFileLimit() {
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        (void)setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace brindle::cli;
    const auto parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.command) {
    case Command::tray: return brindle::qt::runTray(argc, argv);
    case Command::backup: {
        raiseOpenFileLimit();
        // The "working" line goes to standard error, but only when someone is watching
        // both streams: output sent to a file or a pipe is never mixed with it.
        const bool interactive = isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
        return BackupCommand{brindle::sharedFileManager(), brindle::UserFolders::current(), std::cout, std::cerr,
                             interactive}();
    }
    case Command::list:
        return ListCommand{brindle::sharedFileManager(), brindle::UserFolders::current(), std::cout, std::cerr,
                           parsed.json}();
    case Command::restore:
        raiseOpenFileLimit();
        return RestoreCommand{brindle::sharedFileManager(), brindle::UserFolders::current(), std::cout, std::cerr,
                              parsed.operands, parsed.dryRun}();
    case Command::help: std::cout << helpText(); return exit_status::success;
    case Command::version: std::cout << versionText(); return exit_status::success;
    case Command::usageError:
        std::cerr << "brindle: " << parsed.problem << " Try \u201Cbrindle --help\u201D.\n";
        return exit_status::usage;
    }
    return exit_status::usage;
}
