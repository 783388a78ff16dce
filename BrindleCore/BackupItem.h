#pragma once

#include <string>
#include <vector>

#include "BrindleCore/FileManager.h"

namespace brindle {

// One thing to back up and where its copy goes inside a backup.
struct BackupItem {
    std::string id;
    std::string displayName;
    std::string sourcePath;       // absolute
    std::string destinationPath;  // relative, "/"-separated; first piece is a top-level folder
    std::vector<std::string> excludedRelativePaths;
    bool required = false;

    friend bool operator==(const BackupItem&, const BackupItem&) = default;
};

// JSON text form with the field names as keys. Reading throws JsonReadError.
std::string toJson(const BackupItem& item);
BackupItem backupItemFromJson(std::string_view json);

// The built-in catalog, built fresh from a home folder on every call.
namespace DefaultBackupItems {
std::vector<BackupItem> items(const Path& homeDirectory);
}

}  // namespace brindle
