#include "tests/fakes/DurabilityModel.h"

#include <algorithm>
#include <filesystem>

#include "BrindleCore/SnapshotNames.h"

namespace brindle::testing {

static bool under(const std::string& path, const std::string& folder) { return path != folder && isSameOrInside(path, folder); }

bool DurabilityModel::isPublished(const Path& path) const {
    const std::string name = path.filename().string();
    return (path.parent_path() == machine_ && name == "latest") ||
           (path.parent_path() == machine_ / "Snapshots" && isSnapshotName(name));
}

// Everything at and below `root`, as just made: its names and its data not yet synced.
void DurabilityModel::markTree(const Path& root) {
    names_.insert(root.string());
    data_.insert(root.string());
    std::error_code ignored;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(root, ignored))) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
        names_.insert(entry.path().string());
        data_.insert(entry.path().string());
    }
}

void DurabilityModel::rename(const std::string& from, const std::string& to) {
    for (auto* marks : {&names_, &data_}) {
        std::set<std::string> moved;
        std::erase_if(*marks, [&](const std::string& mark) {
            if (!isSameOrInside(mark, from)) return false;
            moved.insert(to + mark.substr(from.size()));
            return true;
        });
        marks->insert(moved.begin(), moved.end());
    }
    names_.insert(to);
}

// A published backup is partial after a power cut when anything in it, or its own
// data, could be lost; its own name may be (the swap then comes undone, whole).
void DurabilityModel::check(const std::string& call) {
    std::error_code ignored;
    for (const auto& folder : {machine_, machine_ / "Snapshots"}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
            const std::string backup = entry.path().string();
            if (!isPublished(entry.path())) continue;
            auto inside = [&](const std::string& mark) { return under(mark, backup); };
            if (data_.count(backup) != 0 || std::any_of(names_.begin(), names_.end(), inside) ||
                std::any_of(data_.begin(), data_.end(), inside))
                breaches_.push_back("after " + call + ", a power cut could leave " + backup + " partial");
        }
    }
}

void DurabilityModel::createDirectory(const Path& path, unsigned mode) {
    std::vector<Path> made;
    std::error_code ignored;
    for (Path folder = path; !folder.empty() && !std::filesystem::exists(folder, ignored); folder = folder.parent_path())
        made.push_back(folder);
    ForwardingFileManager::createDirectory(path, mode);
    std::lock_guard lock(mutex_);
    for (const auto& folder : made) markTree(folder);
    check("createDirectory " + path.string());
}

void DurabilityModel::copyItem(const Path& from, const Path& to, CopySource source) {
    ForwardingFileManager::copyItem(from, to, source);
    std::lock_guard lock(mutex_);
    markTree(to);
    check("copyItem to " + to.string());
}

void DurabilityModel::copyAttributes(const Path& from, const Path& to) {
    ForwardingFileManager::copyAttributes(from, to);
    std::lock_guard lock(mutex_);
    data_.insert(to.string());
    check("copyAttributes " + to.string());
}

void DurabilityModel::removeItem(const Path& path) {
    ForwardingFileManager::removeItem(path);
    std::lock_guard lock(mutex_);
    if (const auto found = displaced_.find(path.string()); found != displaced_.end())
        breaches_.push_back("removed " + path.string() + ", the earlier content of " + found->second +
                            ", before the swap that replaced it was on stable storage");
    for (auto* marks : {&names_, &data_}) std::erase_if(*marks, [&](const auto& mark) { return isSameOrInside(mark, path.string()); });
    displaced_.erase(path.string());
}

void DurabilityModel::moveItem(const Path& from, const Path& to) {
    ForwardingFileManager::moveItem(from, to);
    std::lock_guard lock(mutex_);
    for (const auto& [where, backup] : displaced_)
        if (backup == to.string())
            breaches_.push_back("moved " + from.string() + " into " + backup + " before its earlier content's move to " +
                                where + " was on stable storage");
    rename(from.string(), to.string());
    if (isPublished(from)) displaced_[to.string()] = from.string();
    check("moveItem " + from.string() + " to " + to.string());
}

bool DurabilityModel::exchangeItems(const Path& a, const Path& b) {
    if (!ForwardingFileManager::exchangeItems(a, b)) return false;
    std::lock_guard lock(mutex_);
    const std::string swap = a.string() + "\n";
    rename(a.string(), swap);
    rename(b.string(), a.string());
    rename(swap, b.string());  // which takes the swap's own name along
    if (isPublished(b)) displaced_[a.string()] = b.string();
    check("exchangeItems " + a.string() + " with " + b.string());
    return true;
}

void DurabilityModel::syncTree(const Path& path) {
    ForwardingFileManager::syncTree(path);
    std::lock_guard lock(mutex_);
    std::erase_if(names_, [&](const std::string& mark) { return under(mark, path.string()); });
    std::erase_if(data_, [&](const std::string& mark) { return isSameOrInside(mark, path.string()); });
}

void DurabilityModel::syncFolder(const Path& path) {
    ForwardingFileManager::syncFolder(path);
    std::lock_guard lock(mutex_);
    std::erase_if(names_, [&](const std::string& mark) { return Path(mark).parent_path() == path; });
    data_.erase(path.string());  // a folder's own attributes go with its entries
    std::erase_if(displaced_, [&](const auto& entry) { return Path(entry.first).parent_path() == path; });
}

void DurabilityModel::expectDurable(const std::vector<Path>& backups) {
    std::lock_guard lock(mutex_);
    for (const auto& backup : backups) {
        // Its own name, those of the folders on the way to it, and every name in it.
        for (const auto& mark : names_)
            if (isSameOrInside(mark, backup.string()) || isSameOrInside(backup.string(), mark))
                breaches_.push_back("at the end, the name " + mark + " may be lost");
        for (const auto& mark : data_)
            if (isSameOrInside(mark, backup.string())) breaches_.push_back("at the end, " + mark + " may be lost");
    }
}

std::vector<std::string> DurabilityModel::breaches() const {
    std::lock_guard lock(mutex_);
    return breaches_;
}

}  // namespace brindle::testing
