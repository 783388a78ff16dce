#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"
#include "BrindleCore/PerformBackup.h"
#include "BrindleCore/RestorePlan.h"

namespace brindle {

// Puts the backup's copy of one item in its place, whole or not at all: the item is
// built beside its place under a restoring name (the backup's copy, and whatever the
// place now holds under the item's excluded paths, kept as it is), put on stable
// storage, and swapped in with one step (see swapIntoPlace). Returns the excluded
// entries kept; throws, having left the place as it was.
std::vector<std::string> restoreItem(FileManager& fileManager, const RestoreItem& item);

// The entries the item's place holds under its excluded paths, which a restore keeps.
std::vector<std::string> excludedEntriesOf(FileManager& fileManager, const RestoreItem& item);

struct RestoredItem {
    RestoreItem item;
    std::vector<std::string> kept;       // excluded entries kept as they were
    bool wasThere = true;                // its place held something before: the undo copy has it
    std::optional<std::string> failure;  // why the item was left as it was
};

struct RestoreOutcome {
    ListedBackup backup;
    Path undo;  // the saved state from before, itself a backup to restore from
    std::vector<RestoredItem> items;

    std::size_t restoredCount() const;
};

// One restore as `brindle restore` makes it: planned (refusals come at once), then
// under the run lock, waited for up to `patience`: what an interrupted restore left is
// put right, the plan made again, the items' current state saved for undo, and each
// item restored on its own. Throws RestoreRefused, the lock's error, or the failure to
// save for undo; nothing has changed then.
RestoreOutcome performRestore(FileManager& fileManager, const Path& machineFolder, const Path& homeDirectory,
                              const RestoreRequest& request, const Path& lockFile,
                              std::chrono::milliseconds patience = kRunLockPatience);

}  // namespace brindle
