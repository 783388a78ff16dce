#include "BrindleCore/UndoCopy.h"

#include <exception>
#include <set>
#include <stdexcept>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/ItemCopier.h"
#include "BrindleCore/LocalTime.h"
#include "BrindleCore/Publisher.h"
#include "BrindleCore/RandomUUID.h"

namespace brindle {

namespace {

BackupManifestItem saveItem(FileManager& fileManager, const RestoreItem& restore, const Path& staging) {
    const BackupItem& item = restore.item;
    const Path destination = appendingRelativePath(staging, item.destinationPath);
    BackupManifestItem entry{item.id, item.displayName, restore.target.string(), destination.string(),
                             BackupManifestItem::Status::copied, 0, 0, std::nullopt};
    if (!fileManager.examine(restore.target, Links::noFollow).exists()) {
        entry.status = BackupManifestItem::Status::missing;
        entry.message = item.displayName + " was not found at " + restore.target.string() + ".";
        return entry;
    }
    fileManager.createDirectory(destination.parent_path());
    const std::set<std::string> excluded(item.excludedRelativePaths.begin(), item.excludedRelativePaths.end());
    const ItemCopy copy = copyItem(fileManager, restore.target, destination, excluded);
    if (copy.problems.count > 0) {
        // The first problem already names the entry; the earlier-copy remark of a
        // backup does not apply here.
        throw std::runtime_error("Could not save " + item.displayName + " as it is now: " + copy.problems.first);
    }
    entry.fileCount = copy.stats.fileCount;
    entry.byteCount = copy.stats.byteCount;
    return entry;
}

// Named by the local time, which is what a person looks for; never an existing name.
Path freeName(FileManager& fileManager, const Path& undoFolder, Timestamp now) {
    const std::string stamp = localTime(now, "%Y-%m-%d %H-%M-%S");
    Path name = undoFolder / stamp;
    for (int n = 2; fileManager.examine(name, Links::noFollow).exists(); ++n)
        name = undoFolder / (stamp + " (" + std::to_string(n) + ")");
    return name;
}

}  // namespace

Path saveForUndo(FileManager& fileManager, const RestorePlan& plan, const Path& undoFolder,
                 const std::string& machineName, Timestamp now) {
    createDirectoryDurably(fileManager, undoFolder);
    // Private, as a backup's staging folder: it holds copies of the user's files. Named
    // as one, so that what a stopped restore left is removed as publishing's leftovers.
    const Path staging = undoFolder / (std::string(kPublishingNames.temporary.front()) + randomUUID());
    fileManager.createDirectory(staging, 0700);
    try {
        BackupManifest manifest;
        manifest.createdAt = now;
        manifest.machineName = machineName;
        for (const auto& item : plan.items) manifest.items.push_back(saveItem(fileManager, item, staging));
        fileManager.writeFileAtomically(staging / kManifestFileName, toJson(manifest));
        fileManager.syncTree(staging);
        const Path saved = freeName(fileManager, undoFolder, now);
        swapIntoPlace(fileManager, staging, saved);
        return saved;
    } catch (...) {
        removeQuietly(fileManager, staging);
        throw;
    }
}

}  // namespace brindle
