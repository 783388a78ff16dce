#include "BrindleCore/BackupListing.h"

#include <algorithm>
#include <exception>

#include "BrindleCore/BackupService.h"
#include "BrindleCore/JsonWriter.h"
#include "BrindleCore/LocalTime.h"
#include "BrindleCore/SnapshotNames.h"

namespace brindle {

namespace {

// The entries of `folder` that `keep` accepts, by name, newest (greatest) first.
template <typename Keep>
std::vector<std::string> namesIn(FileManager& fileManager, const Path& folder, Keep keep) {
    std::vector<std::string> names;
    if (!fileManager.examine(folder).isDirectory()) return names;
    for (const auto& entry : fileManager.contentsOfDirectory(folder)) {
        std::string name = entry.filename().string();
        if (keep(name)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), std::greater<>());
    return names;
}

}  // namespace

std::string_view kindName(ListedBackup::Kind kind) {
    switch (kind) {
    case ListedBackup::Kind::latest: return "latest";
    case ListedBackup::Kind::snapshot: return "snapshot";
    case ListedBackup::Kind::undo: return "undo";
    case ListedBackup::Kind::other: return "other";
    }
    return "other";
}

ListedBackup readBackup(FileManager& fileManager, ListedBackup::Kind kind, std::string name, const Path& folder) {
    ListedBackup backup{kind, std::move(name), folder, std::nullopt, {}};
    try {
        backup.manifest = backupManifestFromJson(fileManager.readFile(folder / kManifestFileName));
    } catch (const std::exception& error) {
        backup.manifestProblem = error.what();
    }
    return backup;
}

std::vector<ListedBackup> listBackups(FileManager& fileManager, const Path& machineFolder) {
    std::vector<ListedBackup> backups;
    const Path latest = machineFolder / kLatestFolderName;
    if (fileManager.examine(latest, Links::noFollow).exists())
        backups.push_back(readBackup(fileManager, ListedBackup::Kind::latest, kLatestFolderName, latest));
    const Path snapshots = machineFolder / kSnapshotsFolderName;
    for (auto& name : namesIn(fileManager, snapshots, [](const std::string& name) { return isSnapshotName(name); }))
        backups.push_back(readBackup(fileManager, ListedBackup::Kind::snapshot, name, snapshots / name));
    // Hidden names there are an undo copy still being made, or what a stopped one left.
    const Path undo = machineFolder / kUndoFolderName;
    for (auto& name : namesIn(fileManager, undo, [](const std::string& name) { return name.front() != '.'; }))
        backups.push_back(readBackup(fileManager, ListedBackup::Kind::undo, name, undo / name));
    return backups;
}

std::string listingJson(const Path& machineFolder, const std::vector<ListedBackup>& backups) {
    nlohmann::json listed = nlohmann::json::array();
    for (const auto& backup : backups) {
        nlohmann::json entry = {
            {"kind", kindName(backup.kind)},
            {"manifestReadable", backup.manifest.has_value()},
            {"name", backup.name},
            {"path", backup.path.string()},
        };
        if (!backup.manifest) {
            entry["manifestError"] = backup.manifestProblem;
            listed.push_back(std::move(entry));
            continue;
        }
        nlohmann::json items = nlohmann::json::array();
        for (const auto& item : backup.manifest->items) {
            nlohmann::json element = {
                {"byteCount", item.byteCount},
                {"displayName", item.displayName},
                {"fileCount", item.fileCount},
                {"id", item.id},
                {"status", rawValue(item.status)},
            };
            if (item.message) element["message"] = *item.message;
            items.push_back(std::move(element));
        }
        entry["createdAt"] = localIso8601(backup.manifest->createdAt);
        entry["items"] = std::move(items);
        listed.push_back(std::move(entry));
    }
    return writeJson({{"backups", std::move(listed)}, {"machineFolder", machineFolder.string()}});
}

}  // namespace brindle
