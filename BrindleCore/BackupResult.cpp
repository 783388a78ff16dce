#include "BrindleCore/BackupResult.h"

#include <algorithm>

namespace brindle {

std::int64_t BackupResult::copiedItemCount() const {
    return std::count_if(manifest.items.begin(), manifest.items.end(),
                         [](const auto& item) { return item.status == BackupManifestItem::Status::copied; });
}

}  // namespace brindle
