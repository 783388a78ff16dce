#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "BrindleCore/FileManager.h"

namespace brindle {

struct BackupSettings {
    std::string destinationRootPath;
    std::set<std::string> enabledItemIDs;
    std::int64_t backupIntervalMinutes = 30;

    friend bool operator==(const BackupSettings&, const BackupSettings&) = default;

    // The cloud-drive folder's "Brindle" when that folder exists, else the home
    // folder's "Brindle Backups"; every catalog item; 30 minutes.
    static BackupSettings defaults(const Path& homeDirectory, FileManager& fileManager);
};

// "settings.json" text form. Reading throws JsonReadError.
std::string toJson(const BackupSettings& settings);
BackupSettings backupSettingsFromJson(std::string_view json);

}  // namespace brindle
