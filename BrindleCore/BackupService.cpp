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
    auto inside = [&] {
        if (destinationPath == sourcePath) return true;
        return destinationPath.size() > sourcePath.size() &&
               destinationPath.compare(0, sourcePath.size(), sourcePath) == 0 &&
               (destinationPath[sourcePath.size()] == '/' || sourcePath == "/");
    };
    if (inside()) throw BackupServiceError::destinationInsideSource(sourcePath, destinationPath);

    const auto sourceIdentity = fileManager.identity(source);
    if (!sourceIdentity) return;
    Path existing = destination;
    while (!fileManager.fileExists(existing)) {
        Path parent = existing.parent_path();
        if (parent == existing || parent.empty()) return;
        existing = parent;
    }
    for (Path folder = fileManager.resolvingSymlinks(existing);; folder = folder.parent_path()) {
        if (fileManager.identity(folder) == sourceIdentity)
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

// Copies one item into the staging folder. Whatever goes wrong with it is that item's
// outcome, never the run's.
StagedItem stageItem(FileManager& fileManager, const BackupItem& item, const Path& staging) {
    const Path source = standardized(Path(item.sourcePath));
    const Path destination = appendingRelativePath(staging, item.destinationPath);
    StagedItem staged;
    try {
        validateDestination(fileManager, destination, source);
        if (!fileManager.sourceExists(source)) {
            std::string message = item.displayName + " was not found at " + source.string() + ".";
            if (item.required) staged.warning = message;
            staged.entry = entryFor(item, source.string(), destination);
            staged.entry.status = BackupManifestItem::Status::missing;
            staged.entry.message = std::move(message);
            return staged;
        }
        fileManager.createDirectory(destination.parent_path());
        std::set<std::string> excluded(item.excludedRelativePaths.begin(), item.excludedRelativePaths.end());
        const CopyStats stats = copyItem(fileManager, source, destination, excluded);
        staged.entry = entryFor(item, source.string(), destination);
        staged.entry.status = BackupManifestItem::Status::copied;
        staged.entry.fileCount = stats.fileCount;
        staged.entry.byteCount = stats.byteCount;
    } catch (const std::exception& error) {
        staged.warning = item.displayName + " failed: " + error.what();
        staged.entry = entryFor(item, item.sourcePath, destination);
        staged.entry.status = BackupManifestItem::Status::failed;
        staged.entry.message = error.what();
    }
    return staged;
}

// Items are copied side by side only when no item's copy lies inside another's:
// copying an item first clears its destination, which would remove a nested one's.
bool destinationsAreSeparate(const std::vector<const BackupItem*>& items) {
    std::vector<std::string> destinations;
    for (const auto* item : items)
        destinations.push_back(standardized(appendingRelativePath("/", item->destinationPath)).string());
    for (const auto& a : destinations) {
        for (const auto& b : destinations) {
            if (&a == &b) continue;
            if (a == "/" || a == b || (b.size() > a.size() && b.compare(0, a.size(), a) == 0 && b[a.size()] == '/')) return false;
        }
    }
    return true;
}

}  // namespace

BackupService::BackupService(FileManager& fileManager)
    : BackupService(fileManager, [] { return Machine::currentName(); }) {}

BackupService::BackupService(FileManager& fileManager, MachineNameProvider machineName)
    : fileManager_(fileManager), machineName_(std::move(machineName)) {}

BackupResult BackupService::run(const BackupSettings& settings, const std::vector<BackupItem>& items, Timestamp now) {
    const std::string machineName = machineName_();

    // A relative root would put backups wherever the process happens to run.
    if (settings.destinationRootPath.empty() || settings.destinationRootPath.front() != '/')
        throw InvalidDestinationError(settings.destinationRootPath);
    const Path root = standardized(Path(settings.destinationRootPath));
    const Path machineFolder = root / machineName;
    const Path latest = machineFolder / "latest";
    const Path snapshots = machineFolder / "Snapshots";
    const Path staging = machineFolder / (".staging-" + randomUUID());

    fileManager_.createDirectory(machineFolder);
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
            tasks.emplace_back([&, i] { staged[i] = stageItem(fileManager_, *enabled[i], staging); });
        runConcurrently(tasks, destinationsAreSeparate(enabled) ? concurrentThreadCount() : 1);
        for (auto& item : staged) {
            if (item.warning) manifest.warnings.push_back(std::move(*item.warning));
            manifest.items.push_back(std::move(item.entry));
        }

        fileManager_.writeFileAtomically(staging / kManifestFileName, toJson(manifest));
        publishBackupContents(fileManager_, {latest, snapshots / snapshotFolderName(now)}, staging);

        pruneDailySnapshots(fileManager_, snapshots, kSnapshotsKept);
        removeManagedDuplicateFolders(fileManager_, machineFolder, {"latest", "Snapshots"});
        removeManagedDuplicateFolders(fileManager_, latest, managedTopLevelFolderNames(items, settings));
        removeDuplicateSnapshotFolders(fileManager_, snapshots);

        fileManager_.removeItem(staging);
        return BackupResult{std::move(manifest), latest};
    } catch (...) {
        // A failure that repeats every half hour must not leave a full hidden copy of
        // the user's files behind each time. Only this run's own folder is touched.
        try {
            if (fileManager_.entryExists(staging)) fileManager_.removeItem(staging);
        } catch (const std::exception&) {
        }
        throw;
    }
}

}  // namespace brindle
