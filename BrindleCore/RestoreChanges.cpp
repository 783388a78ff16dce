#include "BrindleCore/RestoreChanges.h"

#include <map>
#include <set>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/ItemCopier.h"
#include "BrindleCore/Restorer.h"

namespace brindle {

namespace {

// Every entry of the tree at `root` (the root itself as ""), excluded paths left out.
std::map<std::string, EntryInfo> entriesOf(FileManager& fileManager, const Path& root, const std::set<std::string>& excluded) {
    std::map<std::string, EntryInfo> entries;
    const EntryInfo info = fileManager.examine(root, Links::noFollow);
    if (!info.exists()) return entries;
    entries[""] = info;
    if (!info.isDirectory()) return entries;
    auto walk = fileManager.walk(root);
    while (auto entry = walk->next()) {
        if (entry->listingError != 0)
            throw FileSystemError::fromErrno("list the folder", entry->path.string(), entry->listingError);
        if (shouldExclude(entry->relativePath, excluded)) {
            walk->skipDescendants();
            continue;
        }
        entries[entry->relativePath] = entry->info;
    }
    return entries;
}

bool differ(FileManager& fileManager, const EntryInfo& a, const Path& pathA, const EntryInfo& b, const Path& pathB) {
    if (a.type != b.type || a.mode != b.mode) return true;
    if (a.type == EntryType::symlink) return fileManager.readLink(pathA) != fileManager.readLink(pathB);
    if (a.type == EntryType::regular) return a.size != b.size || fileManager.readFile(pathA) != fileManager.readFile(pathB);
    return false;
}

}  // namespace

std::string_view kindName(RestoreChanges::Change::Kind kind) {
    switch (kind) {
    case RestoreChanges::Change::Kind::added: return "added";
    case RestoreChanges::Change::Kind::changed: return "changed";
    case RestoreChanges::Change::Kind::removed: return "removed";
    }
    return "changed";
}

RestoreChanges changesOfRestore(FileManager& fileManager, const RestoreItem& item, std::size_t listed) {
    const std::set<std::string> excluded(item.item.excludedRelativePaths.begin(), item.item.excludedRelativePaths.end());
    const auto backup = entriesOf(fileManager, item.copy, excluded);
    const auto current = entriesOf(fileManager, item.target, excluded);
    RestoreChanges changes;
    auto note = [&](RestoreChanges::Change::Kind kind, std::size_t& count, const std::string& path, const EntryInfo& info) {
        ++count;
        if (changes.first.size() >= listed) return;
        std::string shown = path.empty() ? item.target.filename().string() : path;
        if (info.isDirectory()) shown += "/";
        changes.first.push_back({kind, std::move(shown)});
    };
    using Kind = RestoreChanges::Change::Kind;
    // Both maps are in path order: walked side by side, the changes come out in order.
    auto a = backup.begin();
    auto b = current.begin();
    while (a != backup.end() || b != current.end()) {
        if (b == current.end() || (a != backup.end() && a->first < b->first)) {
            note(Kind::added, changes.added, a->first, a->second);
            ++a;
        } else if (a == backup.end() || b->first < a->first) {
            note(Kind::removed, changes.removed, b->first, b->second);
            ++b;
        } else {
            const Path inBackup = appendingRelativePath(item.copy, a->first);
            const Path inPlace = appendingRelativePath(item.target, b->first);
            if (differ(fileManager, a->second, inBackup, b->second, inPlace))
                note(Kind::changed, changes.changed, a->first, a->second);
            ++a;
            ++b;
        }
    }
    changes.kept = excludedEntriesOf(fileManager, item);
    return changes;
}

}  // namespace brindle
