#pragma once

#include <functional>

#include "BrindleCore/BackupResult.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/UserFolders.h"

namespace brindle::shell {

// One whole backup with the given settings, run off the main thread. Returns the
// result or throws the run's error.
using BackupPerformer = std::function<BackupResult(const BackupSettings& settings)>;

// The real run: under the run lock shared with every other Brindle process, with
// the whole catalog from the home folder.
BackupPerformer lockedBackupPerformer(FileManager& fileManager, const UserFolders& folders);

}  // namespace brindle::shell
