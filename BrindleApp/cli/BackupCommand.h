#pragma once

#include <functional>
#include <ostream>

#include "BrindleCore/BackupResult.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileManager.h"

namespace brindle::cli {

// One run as the application makes it, reported for a person or a script. Returns
// the exit status (see CommandLine.h).
struct BackupCommand {
    FileManager& fileManager;
    std::ostream& out;
    std::ostream& err;
    bool interactive = false;  // both output streams are terminals: show that work is going on
    // The run itself; by default performBackup (the run lock, the catalog, now).
    std::function<BackupResult(FileManager&, const BackupSettings&)> perform;

    int operator()() const;
};

// The report of a finished run, one line per item and per warning.
void printReport(std::ostream& out, const BackupResult& result);

}  // namespace brindle::cli
