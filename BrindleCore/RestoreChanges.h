#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"
#include "BrindleCore/RestorePlan.h"

namespace brindle {

// What restoring an item would change in its place: entries the backup has and the
// place lacks (added), has in another form (changed: another type, other permission
// bits, other contents or link target), and entries the place has and the backup lacks
// (removed). Entries the item excludes are left out: a restore keeps them.
struct RestoreChanges {
    struct Change {
        enum class Kind { added, changed, removed };
        Kind kind;
        std::string path;  // relative to the item's folder, folders ending in "/"; a file item by its name
    };
    std::size_t added = 0;
    std::size_t changed = 0;
    std::size_t removed = 0;
    std::vector<Change> first;  // the first few, in path order
    std::vector<std::string> kept;  // the place's excluded entries, which a restore keeps

    bool none() const { return added + changed + removed == 0; }
};

RestoreChanges changesOfRestore(FileManager& fileManager, const RestoreItem& item, std::size_t listed = 5);

std::string_view kindName(RestoreChanges::Change::Kind kind);

}  // namespace brindle
