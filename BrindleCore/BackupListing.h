#pragma once

#include <optional>
#include <string>
#include <vector>

#include "BrindleCore/BackupManifest.h"
#include "BrindleCore/FileManager.h"

namespace brindle {

// One backup of a machine folder, with what its manifest says, or why that could not
// be read: a backup whose manifest is unreadable is still a backup to show.
struct ListedBackup {
    enum class Kind { latest, snapshot, undo, other };

    Kind kind = Kind::other;
    std::string name;  // "latest", the snapshot's "yyyy-MM-dd", the undo copy's folder name
    Path path;
    std::optional<BackupManifest> manifest;
    std::string manifestProblem;  // when there is no manifest: why, in a sentence
};

// The backup at `folder`, its manifest read.
ListedBackup readBackup(FileManager& fileManager, ListedBackup::Kind kind, std::string name, const Path& folder);

// Every backup of the machine folder: "latest", then the snapshots and then the copies
// restores saved, each newest first. Nothing when the folder does not exist yet.
std::vector<ListedBackup> listBackups(FileManager& fileManager, const Path& machineFolder);

std::string_view kindName(ListedBackup::Kind kind);

// The listing as one JSON document for scripts, in the exact form of Brindle's files:
// {"backups": [{"kind", "name", "path", "manifestReadable", and "createdAt" (local
// time with its offset) and "items" (each "id", "displayName", "status", "fileCount",
// "byteCount", and "message" when there is one), or "manifestError"}], "machineFolder"}.
std::string listingJson(const Path& machineFolder, const std::vector<ListedBackup>& backups);

}  // namespace brindle
