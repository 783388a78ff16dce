#include "BrindleCore/ItemCopier.h"

#include <vector>

namespace brindle {

bool shouldExclude(std::string_view relativePath, const std::set<std::string>& excludedPaths) {
    for (const auto& excluded : excludedPaths) {
        if (relativePath == excluded) return true;
        if (relativePath.size() > excluded.size() && relativePath.compare(0, excluded.size(), excluded) == 0 &&
            relativePath[excluded.size()] == '/')
            return true;
    }
    return false;
}

std::uint64_t byteCount(FileManager& fileManager, const Path& path) {
    return fileManager.entryInfo(path).size.value_or(0);
}

CopyStats copyItem(FileManager& fileManager, const Path& from, const Path& to, const std::set<std::string>& excluded) {
    bool isDirectory = false;
    if (fileManager.fileExists(from, isDirectory) && isDirectory) return copyDirectory(fileManager, from, to, excluded);

    if (fileManager.entryExists(to)) fileManager.removeItem(to);
    // A source that is a link to a file is backed up as the file's content, as a link
    // to a folder backs up the folder: a dotfile manager's link would otherwise leave
    // a backup holding a link into nowhere.
    Path source = from;
    if (fileManager.entryInfo(from).type == EntryType::symlink) source = fileManager.resolvingSymlinks(from);
    fileManager.copyItem(source, to);
    return CopyStats{1, byteCount(fileManager, to)};
}

CopyStats copyDirectory(FileManager& fileManager, const Path& from, const Path& to,
                        const std::set<std::string>& excluded) {
    if (fileManager.entryExists(to)) fileManager.removeItem(to);
    fileManager.createDirectory(to);

    // Throws when the source folder cannot be opened at all: an item whose folder is
    // unreadable has failed, it has not been copied empty.
    auto walk = fileManager.walk(from);
    CopyStats stats;
    // Folders get their source's permission bits and times once filled, deepest
    // first, so that a read-only folder can still be filled and its time sticks.
    std::vector<std::pair<Path, Path>> folders{{from, to}};
    while (auto entry = walk->next()) {
        if (shouldExclude(entry->relativePath, excluded)) {
            walk->skipDescendants();
            continue;
        }
        // The walk reports each folder before its contents, so the parent of every
        // target already exists.
        Path target = appendingRelativePath(to, entry->relativePath);
        if (entry->info.isDirectory()) {
            fileManager.createDirectory(target);
            folders.emplace_back(entry->path, std::move(target));
            continue;
        }
        fileManager.copyItem(entry->path, target);
        stats.fileCount += 1;
        stats.byteCount += entry->info.size.value_or(0);
    }
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        fileManager.copyAttributes(folder->first, folder->second);
    return stats;
}

}  // namespace brindle
