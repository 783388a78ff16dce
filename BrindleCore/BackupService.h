#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/BackupResult.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileManager.h"

namespace brindle {

// The layout of a machine folder: the newest backup, the day's snapshots, and the
// copies a restore saves of what it replaced (which no backup run touches).
inline constexpr const char* kLatestFolderName = "latest";
inline constexpr const char* kSnapshotsFolderName = "Snapshots";
inline constexpr const char* kUndoFolderName = "Undo";

// The folder of the named machine under the settings' backup root. Throws
// InvalidDestinationError for a root that cannot be used at all.
Path machineFolderFor(const BackupSettings& settings, const std::string& machineName);

// The backup engine: one call performs a whole backup into the settings' root.
class BackupService {
public:
    using MachineNameProvider = std::function<std::string()>;

    explicit BackupService(FileManager& fileManager);
    // Tests name the machine themselves.
    BackupService(FileManager& fileManager, MachineNameProvider machineName);

    // Throws FileSystemError, BackupServiceError::unableToPublishBackup or
    // InvalidDestinationError; per-item problems go into the manifest instead.
    BackupResult run(const BackupSettings& settings, const std::vector<BackupItem>& items, Timestamp now);

private:
    FileManager& fileManager_;
    MachineNameProvider machineName_;
};

}  // namespace brindle
