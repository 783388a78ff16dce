#include "BrindleCore/Cleanup.h"

#include <algorithm>

#include "BrindleCore/SnapshotNames.h"

namespace brindle {

void pruneDailySnapshots(FileManager& fileManager, const Path& snapshots, std::size_t keeping) {
    if (!fileManager.examine(snapshots).exists()) return;
    struct Snapshot {
        Path path;
        int day;
    };
    std::vector<Snapshot> found;
    for (auto& entry : fileManager.contentsOfDirectory(snapshots)) {
        if (auto day = snapshotDay(entry.filename().string())) found.push_back({std::move(entry), *day});
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.day > b.day; });
    for (std::size_t i = keeping; i < found.size(); ++i) fileManager.removeItem(found[i].path);
}

void removeManagedDuplicateFolders(FileManager& fileManager, const Path& folder, const std::set<std::string>& baseNames) {
    if (!fileManager.examine(folder).exists()) return;
    for (const auto& entry : fileManager.contentsOfDirectory(folder)) {
        auto base = numberedCopyBaseName(entry.filename().string());
        if (base && baseNames.count(*base) != 0) fileManager.removeItem(entry);
    }
}

void removeDuplicateSnapshotFolders(FileManager& fileManager, const Path& snapshots) {
    if (!fileManager.examine(snapshots).exists()) return;
    std::set<std::string> days;
    for (const auto& entry : fileManager.contentsOfDirectory(snapshots)) {
        std::string name = entry.filename().string();
        if (isSnapshotName(name)) days.insert(std::move(name));
    }
    removeManagedDuplicateFolders(fileManager, snapshots, days);
}

std::set<std::string> managedTopLevelFolderNames(const std::vector<BackupItem>& items, const BackupSettings& settings) {
    std::set<std::string> names;
    for (const auto& item : items) {
        if (settings.enabledItemIDs.count(item.id) == 0) continue;
        const auto& path = item.destinationPath;
        auto start = path.find_first_not_of('/');
        if (start == std::string::npos) continue;
        auto end = path.find('/', start);
        names.insert(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
    }
    return names;
}

}  // namespace brindle
