#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"
#include "BrindleCore/UserFolders.h"

namespace brindle::cli {

// `brindle restore [latest | YYYY-MM-DD | PATH] [ITEM-ID...] [--dry-run]`. Returns
// the exit status (see CommandLine.h).
struct RestoreCommand {
    FileManager& fileManager;
    UserFolders folders;
    std::ostream& out;
    std::ostream& err;
    std::vector<std::string> operands;  // the backup first, when one is named; then item ids
    bool dryRun = false;

    int operator()() const;
};

}  // namespace brindle::cli
