#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "BrindleCore/BackupListing.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/UserFolders.h"

namespace brindle::cli {

// `brindle list [--json]`: this machine's backups under the configured root. Returns
// the exit status (see CommandLine.h).
struct ListCommand {
    FileManager& fileManager;
    UserFolders folders;
    std::ostream& out;
    std::ostream& err;
    bool json = false;

    int operator()() const;
};

// The listing for a person (listingJson is the one for scripts).
void printListing(std::ostream& out, const Path& machineFolder, const std::vector<ListedBackup>& backups);

// "made 2025-03-20 13:05:09 +0100", or why the manifest could not be read.
std::string madeWhen(const ListedBackup& backup);

}  // namespace brindle::cli
