#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "BrindleCore/FileManager.h"

namespace brindle {

struct CopyStats {
    std::int64_t fileCount = 0;
    std::uint64_t byteCount = 0;
};

// Copies one item's source (a file, or a folder tree without its excluded paths) to
// `to`, replacing whatever was there. Fails with the first file-system error; what
// was copied before it stays.
CopyStats copyItem(FileManager& fileManager, const Path& from, const Path& to, const std::set<std::string>& excluded);
CopyStats copyDirectory(FileManager& fileManager, const Path& from, const Path& to,
                        const std::set<std::string>& excluded);

// True when the relative path is an excluded path or lies under one (from the root only).
bool shouldExclude(std::string_view relativePath, const std::set<std::string>& excludedPaths);

// The entry's own size, 0 when it has none.
std::uint64_t byteCount(FileManager& fileManager, const Path& path);

}  // namespace brindle
