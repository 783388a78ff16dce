#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include "BrindleCore/FileManager.h"

namespace brindle {

struct CopyStats {
    std::int64_t fileCount = 0;
    std::uint64_t byteCount = 0;
};

// Entries of a tree that could not be copied. Each kept its copy from the previous
// backup where that backup had one.
struct CopyProblems {
    std::size_t count = 0;
    std::string first;  // what went wrong with the first, naming it
    bool firstKept = false;

    // The sentence a user reads: the first problem, whether its earlier copy was kept,
    // and how many more there were.
    std::string description() const;
};

struct ItemCopy {
    CopyStats stats;
    CopyProblems problems;
};

// Thrown when the copy from the previous backup that had to take the place of an
// entry could not be made: publishing then would leave less than that backup held.
class EarlierCopyNotKept : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Copies one item's source (a file, or a folder tree without its excluded paths) to
// `to`, replacing whatever was there. Every entry that can be read is copied; one
// that cannot is a problem, and keeps its copy from `previous` (the item's place in
// the previous backup) where there is one. Throws when the source cannot be copied
// at all (nothing of it is kept then: that is the caller's), and EarlierCopyNotKept.
ItemCopy copyItem(FileManager& fileManager, const Path& from, const Path& to, const std::set<std::string>& excluded,
                  const std::optional<Path>& previous = std::nullopt);
ItemCopy copyDirectory(FileManager& fileManager, const Path& from, const Path& to,
                       const std::set<std::string>& excluded, const std::optional<Path>& previous = std::nullopt);

// Replaces whatever is at `to` by the copy at `previous`, when there is one there.
// Returns whether there was. Throws EarlierCopyNotKept when the copy fails.
bool keepEarlierCopy(FileManager& fileManager, const std::optional<Path>& previous, const Path& to);

// True when the relative path is an excluded path or lies under one (from the root only).
bool shouldExclude(std::string_view relativePath, const std::set<std::string>& excludedPaths);

// The entry's own size, 0 when it has none.
std::uint64_t byteCount(FileManager& fileManager, const Path& path);

}  // namespace brindle
