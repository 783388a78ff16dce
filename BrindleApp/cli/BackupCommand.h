#pragma once

#include <ostream>

#include "BrindleCore/BackupResult.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/UserFolders.h"

namespace brindle::cli {

// One run as the application makes it, reported for a person or a script. Returns
// the exit status (see CommandLine.h).
struct BackupCommand {
    FileManager& fileManager;
    UserFolders folders;
    std::ostream& out;
    std::ostream& err;
    bool interactive = false;  // both output streams are terminals: show that work is going on

    int operator()() const;
};

// The report of a finished run, one line per item and per warning.
void printReport(std::ostream& out, const BackupResult& result);

}  // namespace brindle::cli
