#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/BackupListing.h"
#include "BrindleCore/FileManager.h"

namespace brindle {

// A restore that cannot be made as asked; nothing has been changed. what() says why,
// and what could be asked instead.
class RestoreRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RestoreRequest {
    // "latest" (also when empty), a snapshot's "yyyy-MM-dd", or the absolute path of a
    // backup folder (an undo copy, another machine's backup).
    std::string backup;
    // Catalog ids; none: every item the backup copied.
    std::vector<std::string> itemIds;
};

// Whether a word of the command line names a backup rather than an item: "latest",
// an absolute path, or anything shaped like a date (so that a mistyped date is
// refused as a date, not as an item id).
bool namesABackup(std::string_view word);

// One item to put back.
struct RestoreItem {
    BackupItem item;           // the catalog's, for the current home
    BackupManifestItem entry;  // what the backup's manifest says of it
    Path copy;                 // the backup's copy
    Path target;               // where it goes (see restorePlaceOf)
};

struct RestorePlan {
    ListedBackup backup;  // with its manifest
    std::vector<RestoreItem> items;  // in catalog order
};

// Finds the backup and the items as asked, reading only. Throws RestoreRefused for a
// backup that is not there or whose manifest cannot be read, an unknown item id, and an
// item the backup did not copy.
RestorePlan planRestore(FileManager& fileManager, const Path& machineFolder, const Path& homeDirectory,
                        const RestoreRequest& request);

}  // namespace brindle
