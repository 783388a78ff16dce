#include "BrindleCore/RestorePlan.h"

#include <algorithm>

#include "BrindleCore/BackupService.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/RestorePlace.h"

namespace brindle {

namespace {

bool isDateShaped(std::string_view word) {
    if (word.size() != 10 || word[4] != '-' || word[7] != '-') return false;
    return std::all_of(word.begin(), word.end(), [](char c) { return c == '-' || (c >= '0' && c <= '9'); });
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

std::string whatThereIs(FileManager& fileManager, const Path& machineFolder) {
    std::vector<std::string> names;
    for (const auto& backup : listBackups(fileManager, machineFolder)) {
        if (backup.kind != ListedBackup::Kind::undo) names.push_back(backup.name);
    }
    if (names.empty()) return " There is no backup of this computer in " + quotedPath(machineFolder.string()) + " yet.";
    return " The backups of this computer are: " + joined(names) + ".";
}

ListedBackup findBackup(FileManager& fileManager, const Path& machineFolder, const std::string& name) {
    ListedBackup::Kind kind = ListedBackup::Kind::other;
    Path folder;
    if (name.empty() || name == kLatestFolderName) {
        kind = ListedBackup::Kind::latest;
        folder = machineFolder / kLatestFolderName;
    } else if (name.front() == '/') {
        folder = standardized(Path(name));
    } else {
        kind = ListedBackup::Kind::snapshot;
        folder = machineFolder / kSnapshotsFolderName / name;
    }
    const std::string label = kind == ListedBackup::Kind::other ? folder.string() : folder.filename().string();
    if (!fileManager.examine(folder).isDirectory()) {
        if (kind == ListedBackup::Kind::other)
            throw RestoreRefused("There is no backup folder at " + quotedPath(folder.string()) + ".");
        const std::string what = kind == ListedBackup::Kind::latest ? "There is no latest backup"
                                                                    : "There is no backup of " + name;
        throw RestoreRefused(what + " in " + quotedPath(folder.parent_path().string()) + "." +
                             whatThereIs(fileManager, machineFolder));
    }
    ListedBackup backup = readBackup(fileManager, kind, label, folder);
    if (!backup.manifest) {
        throw RestoreRefused("The backup " + quotedPath(folder.string()) + " cannot be restored: its manifest could not be read. " +
                             backup.manifestProblem);
    }
    return backup;
}

const BackupManifestItem* entryOf(const BackupManifest& manifest, const std::string& id) {
    for (const auto& entry : manifest.items) {
        if (entry.id == id) return &entry;
    }
    return nullptr;
}

}  // namespace

bool namesABackup(std::string_view word) {
    return word == kLatestFolderName || (!word.empty() && word.front() == '/') || isDateShaped(word);
}

RestorePlan planRestore(FileManager& fileManager, const Path& machineFolder, const Path& homeDirectory,
                        const RestoreRequest& request) {
    RestorePlan plan{findBackup(fileManager, machineFolder, request.backup), {}};
    const BackupManifest& manifest = *plan.backup.manifest;
    const auto catalog = DefaultBackupItems::items(homeDirectory);
    std::vector<std::string> ids;
    for (const auto& item : catalog) ids.push_back(item.id);
    for (const auto& id : request.itemIds) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            throw RestoreRefused("There is no item " + quotedPath(id) + ". The items are: " + joined(ids) + ".");
    }
    const std::string from = "The backup " + quotedPath(plan.backup.path.string());
    for (const auto& item : catalog) {
        const bool asked = std::find(request.itemIds.begin(), request.itemIds.end(), item.id) != request.itemIds.end();
        const BackupManifestItem* entry = entryOf(manifest, item.id);
        const bool copied = entry != nullptr && entry->status == BackupManifestItem::Status::copied;
        if (!asked && !(request.itemIds.empty() && copied)) continue;
        if (entry == nullptr) throw RestoreRefused(from + " has no copy of " + item.id + ": it did not back it up.");
        if (!copied) {
            throw RestoreRefused(from + " has no copy of " + item.id + ": it was recorded as " +
                                 std::string(rawValue(entry->status)) + ". " + entry->message.value_or(""));
        }
        RestoreItem restore{item, *entry, appendingRelativePath(plan.backup.path, item.destinationPath), {}};
        if (!fileManager.examine(restore.copy, Links::noFollow).exists()) {
            throw RestoreRefused(from + " lacks its copy of " + item.id + ": nothing is at " +
                                 quotedPath(restore.copy.string()) + ".");
        }
        restore.target = restorePlaceOf(fileManager, item.sourcePath).target;
        plan.items.push_back(std::move(restore));
    }
    if (plan.items.empty()) throw RestoreRefused(from + " holds no copied item to restore.");
    return plan;
}

}  // namespace brindle
