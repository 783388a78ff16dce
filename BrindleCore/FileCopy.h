#pragma once

#include "BrindleCore/FileManager.h"

namespace brindle {

// Copies whatever is at `from` to the new name `to`, keeping permission bits and
// modification times: a folder with its whole content, a link as a link, a special
// file recreated (never opened), a regular file's contents copied by the kernel.
// On failure the partial entry at `to` is removed (for a folder: the entry that
// failed) and the error names the file and the reason.
void copyEntry(const Path& from, const Path& to);

// Removes a file, a link or a folder tree; the error names the entry that failed.
void removeEntry(const Path& path);

}  // namespace brindle
