#pragma once

#include <string>

#include "BrindleCore/BackupManifest.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/RestorePlan.h"

namespace brindle {

// Saves what each item of the plan is now, before a restore replaces it, as a backup
// of its own in `undoFolder` (the machine folder's "Undo"): a folder named by the
// local time, with a manifest and the copies in a backup's layout, so that restoring
// from it puts everything back. It is made privately beside its final place, put on
// stable storage and then given its name in one step. An item that is not there now
// is recorded as missing. Returns the folder; throws, leaving nothing, when any item
// cannot be saved whole: a restore must not replace what it could not save.
Path saveForUndo(FileManager& fileManager, const RestorePlan& plan, const Path& undoFolder,
                 const std::string& machineName, Timestamp now);

}  // namespace brindle
