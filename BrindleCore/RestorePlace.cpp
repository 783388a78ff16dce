#include "BrindleCore/RestorePlace.h"

#include <algorithm>
#include <exception>

namespace brindle {

namespace {

// As the system gives up on a chain of links (ELOOP).
constexpr int kMostLinksFollowed = 40;

}  // namespace

const TemporaryNames kRestoringNames{".brindle-replaced-", {".brindle-restoring-"}};

RestorePlace restorePlaceOf(FileManager& fileManager, const Path& source) {
    RestorePlace place{standardized(source), {}};
    place.folders.push_back(place.target.parent_path());
    for (int links = 0; links < kMostLinksFollowed; ++links) {
        if (fileManager.examine(place.target, Links::noFollow).type != EntryType::symlink) break;
        const Path linked(fileManager.readLink(place.target));
        place.target = standardized(linked.is_absolute()
                                        ? linked
                                        : fileManager.resolvingSymlinks(place.target.parent_path()) / linked);
        place.folders.push_back(place.target.parent_path());
    }
    return place;
}

void recoverInterruptedRestores(FileManager& fileManager, const std::vector<BackupItem>& items) {
    std::vector<Path> folders;
    auto add = [&](const Path& folder) {
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    };
    for (const auto& item : items) {
        add(standardized(Path(item.sourcePath)).parent_path());
        try {
            for (const auto& folder : restorePlaceOf(fileManager, item.sourcePath).folders) add(folder);
        } catch (const std::exception&) {
            // A link that cannot be read leads to no place a restore worked in.
        }
    }
    for (const auto& folder : folders) {
        std::vector<Path> entries;
        try {
            if (!fileManager.examine(folder).isDirectory()) continue;
            entries = fileManager.contentsOfDirectory(folder);
        } catch (const std::exception&) {
            continue;
        }
        // What cannot be put back ends the caller's work: a source left aside must not
        // be taken for a missing one.
        recoverInterrupted(fileManager, folder, entries, kRestoringNames);
    }
}

}  // namespace brindle
