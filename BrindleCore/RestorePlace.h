#pragma once

#include <vector>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/Publisher.h"

namespace brindle {

// What a restore leaves beside an item while it works: the item being built
// (".brindle-restoring-<id>") and, where the file system cannot swap two entries, the
// item it replaces (".brindle-replaced-<name>-<id>"). Names a user would never choose.
extern const TemporaryNames kRestoringNames;

// Where a restore puts an item back. A source that is a symbolic link (a dotfile
// manager's, say) keeps its link: the content goes where the link leads, followed
// link by link, even where the last one leads nowhere now. `folders` are those a
// restore of it may have worked in: the source's own, and that of every link's target.
struct RestorePlace {
    Path target;
    std::vector<Path> folders;
};
RestorePlace restorePlaceOf(FileManager& fileManager, const Path& source);

// Puts right what an interrupted restore of any of the items left beside it (see
// recoverInterrupted): an item renamed aside whose place is empty is put back, every
// other of the restore's names removed. A folder that cannot be examined or listed is
// passed over, since no restore could have worked in it. Callers hold the run lock.
void recoverInterruptedRestores(FileManager& fileManager, const std::vector<BackupItem>& items);

}  // namespace brindle
