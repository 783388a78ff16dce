#pragma once

#include "BrindleCore/FileManager.h"

namespace brindle {

// Asks the kernel to forget the cached contents of the regular files in the tree at
// `path` (links are not followed, nothing is read or changed). Only a hint: where it
// cannot be given (a memory file system, an entry that cannot be opened) it is not.
void dropCachedPages(const Path& path) noexcept;

}  // namespace brindle
