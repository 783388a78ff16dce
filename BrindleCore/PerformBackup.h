#pragma once

#include "BrindleCore/BackupResult.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileManager.h"

namespace brindle {

// One run exactly as the application and `brindle backup` make it: under the
// cross-process run lock, with a fresh engine, the whole catalog from the current
// home folder and the time at which the lock was won. Throws as BackupService::run.
BackupResult performBackup(FileManager& fileManager, const BackupSettings& settings);

}  // namespace brindle
