#pragma once

#include <cstdint>

#include "BrindleCore/BackupManifest.h"
#include "BrindleCore/FileManager.h"

namespace brindle {

struct BackupResult {
    BackupManifest manifest;
    Path latestURL;

    // Entries whose status is "copied"; computed on each read.
    std::int64_t copiedItemCount() const;

    friend bool operator==(const BackupResult&, const BackupResult&) = default;
};

}  // namespace brindle
