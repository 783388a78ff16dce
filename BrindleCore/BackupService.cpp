#include "BrindleCore/BackupService.h"

#include <exception>
#include <functional>
#include <optional>

#include "BrindleCore/BackupServiceError.h"
#include "BrindleCore/Cleanup.h"
#include "BrindleCore/Concurrently.h"
#include "BrindleCore/ItemCopier.h"
#include "BrindleCore/Machine.h"
#include "BrindleCore/Publisher.h"
#include "BrindleCore/RandomUUID.h"
#include "BrindleCore/RestorePlace.h"
#include "BrindleCore/SnapshotNames.h"

namespace brindle {

namespace {

constexpr std::size_t kSnapshotsKept = 7;

// The text check on the standardised paths, then the same question asked of the
// disk: a backup root reached through a link or a bind mount into the source would
// otherwise copy the backup into itself on every run.
void validateDestination(FileManager& fileManager, const Path& destination, const Path& source) {
    const std::string destinationPath = standardized(destination).string();
    const std::string sourcePath = standardized(source).string();
    if (isSameOrInside(destinationPath, sourcePath))
        throw BackupServiceError::destinationInsideSource(sourcePath, destinationPath);

    const EntryInfo sourceInfo = fileManager.examine(source);
    if (!sourceInfo.exists()) return;
    Path existing = destination;
    while (!fileManager.examine(existing).exists()) {
        const Path parent = existing.parent_path();
        if (parent == existing || parent.empty()) return;
        existing = parent;
    }
    for (Path folder = fileManager.resolvingSymlinks(existing);; folder = folder.parent_path()) {
        if (fileManager.examine(folder).identity == sourceInfo.identity)
            throw BackupServiceError::destinationInsideSource(sourcePath, destinationPath);
        if (folder == folder.parent_path() || folder.empty()) return;
    }
}

BackupManifestItem entryFor(const BackupItem& item, std::string sourcePath, const Path& destination) {
    BackupManifestItem entry;
    entry.id = item.id;
    entry.displayName = item.displayName;
    entry.sourcePath = std::move(sourcePath);
    entry.destinationPath = destination.string();
    return entry;
}

struct StagedItem {
    BackupManifestItem entry;
    std::optional<std::string> warning;
};

StagedItem failedItem(const BackupItem& item, const Path& destination, const std::string& message) {
    StagedItem staged{entryFor(item, item.sourcePath, destination), item.displayName + " failed: " + message};
    staged.entry.status = BackupManifestItem::Status::failed;
    staged.entry.message = message;
    return staged;
}

// Copies one item into the staging folder. Whatever goes wrong with it is that item's
// outcome, never the run's, with one exception: when the item's copy from the
// previous backup (`previous`) cannot stand in for what could not be read, since the
// new backup would then hold less than the one it replaces.
StagedItem stageItem(FileManager& fileManager, const BackupItem& item, const Path& staging, const Path& previous) {
    const Path source = standardized(Path(item.sourcePath));
    const Path destination = appendingRelativePath(staging, item.destinationPath);
    const Path earlier = appendingRelativePath(previous, item.destinationPath);
    try {
        try {
            validateDestination(fileManager, destination, source);
            if (!fileManager.examine(source).exists()) {
                std::string message = item.displayName + " was not found at " + source.string() + ".";
                StagedItem staged{entryFor(item, source.string(), destination), std::nullopt};
                if (item.required) staged.warning = message;
                staged.entry.status = BackupManifestItem::Status::missing;
                staged.entry.message = std::move(message);
                return staged;
            }
            fileManager.createDirectory(destination.parent_path());
            const std::set<std::string> excluded(item.excludedRelativePaths.begin(), item.excludedRelativePaths.end());
            const ItemCopy copy = copyItem(fileManager, source, destination, excluded, earlier);
            if (copy.problems.count > 0) return failedItem(item, destination, copy.problems.description());
            StagedItem staged{entryFor(item, source.string(), destination), std::nullopt};
            staged.entry.status = BackupManifestItem::Status::copied;
            staged.entry.fileCount = copy.stats.fileCount;
            staged.entry.byteCount = copy.stats.byteCount;
            return staged;
        } catch (const EarlierCopyNotKept&) {
            throw;
        } catch (const std::exception& error) {
            const bool kept = keepEarlierCopy(fileManager, earlier, destination);
            return failedItem(item, destination,
                              std::string(error.what()) + (kept ? " The copy from the previous backup was kept." : ""));
        }
    } catch (const EarlierCopyNotKept& error) {
        throw BackupServiceError::unableToPublishBackup(item.displayName +
                                                        " could not be copied, and its copy from the previous "
                                                        "backup could not be kept either: " +
                                                        error.what());
    }
}

// Items are copied side by side only when no item's copy lies inside another's:
// copying an item first clears its destination, which would remove a nested one's.
bool destinationsAreSeparate(const std::vector<const BackupItem*>& items) {
    std::vector<std::string> destinations;
    for (const auto* item : items)
        destinations.push_back(standardized(appendingRelativePath("/", item->destinationPath)).string());
    for (std::size_t a = 0; a < destinations.size(); ++a) {
        for (std::size_t b = 0; b < destinations.size(); ++b) {
            if (a != b && isSameOrInside(destinations[b], destinations[a])) return false;
        }
    }
    return true;
}

void validateRoot(const std::string& rootPath) {
    // A relative root would put backups wherever the process happens to run; a NUL
    // would cut the path short, and the run would work in another folder.
    if (rootPath.empty() || rootPath.front() != '/' || rootPath.find('\0') != std::string::npos)
        throw InvalidDestinationError(rootPath);
}

}  // namespace

Path machineFolderFor(const BackupSettings& settings, const std::string& machineName) {
    validateRoot(settings.destinationRootPath);
    return standardized(Path(settings.destinationRootPath)) / machineName;
}

BackupService::BackupService(FileManager& fileManager)
    : BackupService(fileManager, [] { return Machine::currentName(); }) {}

BackupService::BackupService(FileManager& fileManager, MachineNameProvider machineName)
    : fileManager_(fileManager), machineName_(std::move(machineName)) {}

BackupResult BackupService::run(const BackupSettings& settings, const std::vector<BackupItem>& items, Timestamp now) {
    const std::string machineName = machineName_();
    const Path machineFolder = machineFolderFor(settings, machineName);
    const Path latest = machineFolder / kLatestFolderName;
    const Path snapshots = machineFolder / kSnapshotsFolderName;
    const Path staging = machineFolder / (".staging-" + randomUUID());

    createDirectoryDurably(fileManager_, machineFolder);
    // Before anything else: what an interrupted run left is put right, so that this
    // run starts from whole backups and never deletes the only copy of one.
    recoverInterruptedPublishing(fileManager_, machineFolder, kLatestFolderName);
    recoverInterruptedPublishing(fileManager_, snapshots);
    // A restore stopped half-way may have left a source renamed aside: it is put back
    // first, or this run would record the item as missing and drop it from latest.
    recoverInterruptedRestores(fileManager_, items);
    // Private: it holds copies of the user's files until they are published.
    fileManager_.createDirectory(staging, 0700);

    try {
        BackupManifest manifest;
        manifest.createdAt = now;
        manifest.machineName = machineName;

        std::vector<const BackupItem*> enabled;
        for (const auto& item : items) {
            if (settings.enabledItemIDs.count(item.id) != 0) enabled.push_back(&item);
        }
        std::vector<StagedItem> staged(enabled.size());
        std::vector<std::function<void()>> tasks;
        for (std::size_t i = 0; i < enabled.size(); ++i)
            tasks.emplace_back([&, i] { staged[i] = stageItem(fileManager_, *enabled[i], staging, latest); });
        runConcurrently(tasks, destinationsAreSeparate(enabled) ? concurrentThreadCount() : 1);
        for (auto& item : staged) {
            if (item.warning) manifest.warnings.push_back(std::move(*item.warning));
            manifest.items.push_back(std::move(item.entry));
        }

        fileManager_.writeFileAtomically(staging / kManifestFileName, toJson(manifest));
        publishBackup(fileManager_, staging, latest, snapshots / snapshotFolderName(now));

        pruneDailySnapshots(fileManager_, snapshots, kSnapshotsKept);
        removeManagedDuplicateFolders(fileManager_, machineFolder, {kLatestFolderName, kSnapshotsFolderName});
        removeManagedDuplicateFolders(fileManager_, latest, managedTopLevelFolderNames(items, settings));
        removeDuplicateSnapshotFolders(fileManager_, snapshots);
        return BackupResult{std::move(manifest), latest};
    } catch (...) {
        // A failure that repeats every half hour must not leave a full hidden copy of
        // the user's files behind each time. Only this run's own folder is touched.
        removeQuietly(fileManager_, staging);
        throw;
    }
}

}  // namespace brindle
