#include "tests/fakes/DurabilityModel.h"

#include <filesystem>

#include "BrindleCore/SnapshotNames.h"

namespace brindle::testing {

namespace {

bool under(const std::string& path, const std::string& folder) { return isSameOrInside(path, folder) && path != folder; }

void eraseUnder(std::set<std::string>& marks, const std::string& folder, bool withFolder) {
    for (auto it = marks.begin(); it != marks.end();) {
        it = (under(*it, folder) || (withFolder && *it == folder)) ? marks.erase(it) : std::next(it);
    }
}

}  // namespace

bool DurabilityModel::isPublished(const Path& path) const {
    const std::string name = path.filename().string();
    return (path.parent_path() == machine_ && name == "latest") ||
           (path.parent_path() == machine_ / "Snapshots" && isSnapshotName(name));
}

void DurabilityModel::markTree(const Path& root) {
    unsyncedNames_.insert(root.string());
    unsyncedData_.insert(root.string());
    std::error_code ignored;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(root, ignored))) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
        unsyncedNames_.insert(entry.path().string());
        unsyncedData_.insert(entry.path().string());
    }
}

void DurabilityModel::rename(const std::string& from, const std::string& to) {
    for (auto* marks : {&unsyncedNames_, &unsyncedData_}) {
        std::set<std::string> moved;
        for (auto it = marks->begin(); it != marks->end();) {
            if (isSameOrInside(*it, from)) {
                moved.insert(to + it->substr(from.size()));
                it = marks->erase(it);
            } else {
                ++it;
            }
        }
        marks->insert(moved.begin(), moved.end());
    }
    unsyncedNames_.insert(to);
}

void DurabilityModel::check(const std::string& call) {
    std::error_code ignored;
    for (const auto& folder : {machine_, machine_ / "Snapshots"}) {
        if (!std::filesystem::is_directory(folder, ignored)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
            if (!isPublished(entry.path())) continue;
            const std::string published = entry.path().string();
            bool partial = unsyncedData_.count(published) != 0;
            for (const auto* marks : {&unsyncedNames_, &unsyncedData_}) {
                for (const auto& mark : *marks) partial = partial || under(mark, published);
            }
            if (partial) breaches_.push_back("after " + call + ", a power cut could leave " + published + " partial");
        }
    }
}

void DurabilityModel::createDirectory(const Path& path, unsigned mode) {
    std::vector<Path> created;
    std::error_code ignored;
    for (Path folder = path; !folder.empty() && !std::filesystem::exists(folder, ignored); folder = folder.parent_path())
        created.push_back(folder);
    ForwardingFileManager::createDirectory(path, mode);
    std::lock_guard lock(mutex_);
    for (const auto& folder : created) markTree(folder);
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
    unsyncedData_.insert(to.string());
    check("copyAttributes " + to.string());
}

void DurabilityModel::removeItem(const Path& path) {
    {
        std::lock_guard lock(mutex_);
        if (auto found = displaced_.find(path.string()); found != displaced_.end()) {
            breaches_.push_back("removed " + path.string() + ", the earlier content of " + found->second +
                                ", before the swap that replaced it was on stable storage");
        }
    }
    ForwardingFileManager::removeItem(path);
    std::lock_guard lock(mutex_);
    eraseUnder(unsyncedNames_, path.string(), true);
    eraseUnder(unsyncedData_, path.string(), true);
    displaced_.erase(path.string());
    check("removeItem " + path.string());
}

void DurabilityModel::moveItem(const Path& from, const Path& to) {
    {
        std::lock_guard lock(mutex_);
        for (const auto& [where, backup] : displaced_) {
            if (backup == to.string()) {
                breaches_.push_back("moved " + from.string() + " into " + to.string() + " before the move of its earlier content to " +
                                    where + " was on stable storage");
            }
        }
    }
    ForwardingFileManager::moveItem(from, to);
    std::lock_guard lock(mutex_);
    rename(from.string(), to.string());
    if (isPublished(from)) displaced_[to.string()] = from.string();
    check("moveItem " + from.string() + " to " + to.string());
}

bool DurabilityModel::exchangeItems(const Path& a, const Path& b) {
    if (!ForwardingFileManager::exchangeItems(a, b)) return false;
    std::lock_guard lock(mutex_);
    const std::string swap = a.string() + "\n(swap)";
    rename(a.string(), swap);
    rename(b.string(), a.string());
    rename(swap, b.string());
    unsyncedNames_.erase(swap);
    if (isPublished(b)) displaced_[a.string()] = b.string();
    check("exchangeItems " + a.string() + " with " + b.string());
    return true;
}

void DurabilityModel::writeFileAtomically(const Path& path, std::string_view contents) {
    ForwardingFileManager::writeFileAtomically(path, contents);
    std::lock_guard lock(mutex_);
    unsyncedNames_.erase(path.string());
    unsyncedData_.erase(path.string());
    check("writeFileAtomically " + path.string());
}

void DurabilityModel::syncTree(const Path& path) {
    ForwardingFileManager::syncTree(path);
    std::lock_guard lock(mutex_);
    eraseUnder(unsyncedNames_, path.string(), false);
    eraseUnder(unsyncedData_, path.string(), true);
}

void DurabilityModel::syncFolder(const Path& path) {
    ForwardingFileManager::syncFolder(path);
    std::lock_guard lock(mutex_);
    for (auto it = unsyncedNames_.begin(); it != unsyncedNames_.end();)
        it = Path(*it).parent_path() == path ? unsyncedNames_.erase(it) : std::next(it);
    for (auto it = displaced_.begin(); it != displaced_.end();)
        it = Path(it->first).parent_path() == path ? displaced_.erase(it) : std::next(it);
}

void DurabilityModel::expectDurable(const std::vector<Path>& backups) {
    std::lock_guard lock(mutex_);
    for (const auto& backup : backups) {
        for (Path path = backup; path != path.parent_path(); path = path.parent_path()) {
            if (unsyncedNames_.count(path.string()) != 0)
                breaches_.push_back("at the end, the name " + path.string() + " is not on stable storage");
        }
        for (const auto& mark : unsyncedData_) {
            if (isSameOrInside(mark, backup.string())) breaches_.push_back("at the end, " + mark + " is not on stable storage");
        }
        for (const auto& mark : unsyncedNames_) {
            if (under(mark, backup.string()))
                breaches_.push_back("at the end, the name " + mark + " is not on stable storage");
        }
    }
}

std::vector<std::string> DurabilityModel::breaches() const {
    std::lock_guard lock(mutex_);
    return breaches_;
}

}  // namespace brindle::testing
