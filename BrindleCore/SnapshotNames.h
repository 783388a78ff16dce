#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "BrindleCore/BackupManifest.h"

namespace brindle {

// The day's snapshot folder name, "yyyy-MM-dd" in the Gregorian calendar, in the
// time zone the process had when this was first called (made once, thread-safe).
std::string snapshotFolderName(Timestamp now);

// The calendar day a snapshot name stands for, as a sortable yyyymmdd number:
// exactly four, two and two ASCII digits joined by "-" that form a real date.
std::optional<int> snapshotDay(std::string_view name);
inline bool isSnapshotName(std::string_view name) { return snapshotDay(name).has_value(); }

// The base name of a numbered copy ("latest 2" -> "latest"): at least two words
// between U+0020 spaces, the last made only of numeric characters (read as grapheme
// clusters). Nothing for any other name.
std::optional<std::string> numberedCopyBaseName(std::string_view name);

}  // namespace brindle
