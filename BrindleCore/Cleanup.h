#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileManager.h"

namespace brindle {

// Keeps the `keeping` newest entries of the folder whose names are snapshot names
// and removes the other snapshot entries, newest first. Other names are never touched.
void pruneDailySnapshots(FileManager& fileManager, const Path& snapshots, std::size_t keeping);

// Removes the entries of the folder that are numbered copies of one of `baseNames`.
void removeManagedDuplicateFolders(FileManager& fileManager, const Path& folder, const std::set<std::string>& baseNames);

// Removes numbered copies of the snapshot folders that are present.
void removeDuplicateSnapshotFolders(FileManager& fileManager, const Path& snapshots);

// The first piece of the destination path of every enabled item.
std::set<std::string> managedTopLevelFolderNames(const std::vector<BackupItem>& items, const BackupSettings& settings);

}  // namespace brindle
