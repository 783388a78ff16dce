#include "BrindleCore/ItemCopier.h"

#include <exception>
#include <vector>

#include "BrindleCore/FileSystemError.h"

namespace brindle {

bool shouldExclude(std::string_view relativePath, const std::set<std::string>& excludedPaths) {
    for (const auto& excluded : excludedPaths) {
        if (!excluded.empty() && isSameOrInside(relativePath, excluded)) return true;
    }
    return false;
}

std::uint64_t byteCount(FileManager& fileManager, const Path& path) {
    return fileManager.examine(path, Links::noFollow).size;
}

std::string CopyProblems::description() const {
    std::string text = first + (firstKept ? " Its copy from the previous backup was kept."
                                          : " The previous backup had no copy of it to keep.");
    if (count > 1) {
        const std::size_t more = count - 1;
        text += " " + std::to_string(more) + (more == 1 ? " more entry" : " more entries") +
                " could not be copied; copies from the previous backup were kept where it had them.";
    }
    return text;
}

bool keepEarlierCopy(FileManager& fileManager, const std::optional<Path>& previous, const Path& to) {
    try {
        if (!previous || !fileManager.examine(*previous, Links::noFollow).exists()) return false;
        if (fileManager.examine(to, Links::noFollow).exists()) fileManager.removeItem(to);
        // An item that failed before its copy began has no place made for it yet.
        fileManager.createDirectory(to.parent_path());
        fileManager.copyItem(*previous, to, CopySource::own);
        return true;
    } catch (const std::exception& error) {
        throw EarlierCopyNotKept(error.what());
    }
}

ItemCopy copyItem(FileManager& fileManager, const Path& from, const Path& to, const std::set<std::string>& excluded,
                  const std::optional<Path>& previous) {
    if (fileManager.examine(from).isDirectory()) return copyDirectory(fileManager, from, to, excluded, previous);

    if (fileManager.examine(to, Links::noFollow).exists()) fileManager.removeItem(to);
    // A source that is a link to a file is backed up as the file's content, as a link
    // to a folder backs up the folder: a dotfile manager's link would otherwise leave
    // a backup holding a link into nowhere.
    Path source = from;
    if (fileManager.examine(from, Links::noFollow).type == EntryType::symlink) source = fileManager.resolvingSymlinks(from);
    fileManager.copyItem(source, to);
    return {CopyStats{1, byteCount(fileManager, to)}, {}};
}

ItemCopy copyDirectory(FileManager& fileManager, const Path& from, const Path& to,
                       const std::set<std::string>& excluded, const std::optional<Path>& previous) {
    // Throws when the source folder cannot be opened at all: an item whose folder is
    // unreadable has failed, it has not been copied empty.
    auto walk = fileManager.walk(from);
    if (fileManager.examine(to, Links::noFollow).exists()) fileManager.removeItem(to);
    fileManager.createDirectory(to);
    ItemCopy copy;
    auto earlier = [&](const std::string& relativePath) -> std::optional<Path> {
        if (!previous) return std::nullopt;
        return appendingRelativePath(*previous, relativePath);
    };
    // An entry that cannot be copied keeps its copy from the previous backup: a backup
    // never holds less of an item than the one before it because a file could not be read.
    auto problem = [&](const std::string& relativePath, const std::string& what) {
        const bool kept = keepEarlierCopy(fileManager, earlier(relativePath), appendingRelativePath(to, relativePath));
        if (copy.problems.count++ == 0) {
            copy.problems.first = what;
            copy.problems.firstKept = kept;
        }
    };
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
        while (!open.empty() &&
               (relativePath == open.back().relativePath || !isSameOrInside(relativePath, open.back().relativePath))) {
            fileManager.copyAttributes(open.back().source, open.back().target);
            open.pop_back();
        }
    };
    while (auto entry = walk->next()) {
        if (entry->listingError != 0) {
            // A folder that could not be (wholly) listed takes the earlier copy's
            // content instead of what could be read of it.
            while (!open.empty() && open.back().relativePath != entry->relativePath)
                open.pop_back();  // inside it, and about to be replaced
            problem(entry->relativePath,
                    FileSystemError::fromErrno("list the folder", entry->path.string(), entry->listingError).what());
            continue;
        }
        if (shouldExclude(entry->relativePath, excluded)) {
            walk->skipDescendants();
            continue;
        }
        closeFoldersNotHolding(entry->relativePath);
        // The walk reports each folder before its contents, so the parent of every
        // target already exists.
        Path target = appendingRelativePath(to, entry->relativePath);
        try {
            if (entry->info.isDirectory()) {
                fileManager.createDirectory(target);
                open.push_back({entry->relativePath, entry->path, std::move(target)});
            } else {
                fileManager.copyItem(entry->path, target);
                copy.stats.fileCount += 1;
                copy.stats.byteCount += entry->info.size;
            }
        } catch (const EarlierCopyNotKept&) {
            throw;
        } catch (const std::exception& error) {
            if (entry->info.isDirectory()) walk->skipDescendants();
            problem(entry->relativePath, error.what());
        }
    }
    closeFoldersNotHolding("");
    fileManager.copyAttributes(from, to);
    return copy;
}

}  // namespace brindle
