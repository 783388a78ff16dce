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

namespace {

bool isInside(std::string_view relativePath, std::string_view folder) {
    return relativePath.size() > folder.size() && relativePath.compare(0, folder.size(), folder) == 0 &&
           relativePath[folder.size()] == '/';
}

}  // namespace

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
    // first, so that a read-only folder can still be filled and its time sticks. The
    // walk lists a folder's content right after the folder, so a folder is complete
    // when the first entry outside it comes up: only the folders still open are kept,
    // as many as the tree is deep, however many folders it has.
    struct OpenFolder {
        std::string relativePath;
        Path source;
        Path target;
    };
    std::vector<OpenFolder> open;
    auto closeFoldersNotHolding = [&](std::string_view relativePath) {
        while (!open.empty() && !isInside(relativePath, open.back().relativePath)) {
            fileManager.copyAttributes(open.back().source, open.back().target);
            open.pop_back();
        }
    };
    while (auto entry = walk->next()) {
        if (shouldExclude(entry->relativePath, excluded)) {
            walk->skipDescendants();
            continue;
        }
        closeFoldersNotHolding(entry->relativePath);
        // The walk reports each folder before its contents, so the parent of every
        // target already exists.
        Path target = appendingRelativePath(to, entry->relativePath);
        if (entry->info.isDirectory()) {
            fileManager.createDirectory(target);
            open.push_back({entry->relativePath, entry->path, std::move(target)});
            continue;
        }
        fileManager.copyItem(entry->path, target);
        stats.fileCount += 1;
        stats.byteCount += entry->info.size.value_or(0);
    }
    closeFoldersNotHolding("");
    fileManager.copyAttributes(from, to);
    return stats;
}

}  // namespace brindle
