#include "BrindleCore/BackupSettings.h"

#include <exception>

#include "BrindleCore/BackupItem.h"
#include "BrindleCore/JsonReader.h"
#include "BrindleCore/JsonWriter.h"

namespace brindle {

BackupSettings BackupSettings::defaults(const Path& homeDirectory, FileManager& fileManager) {
    const Path cloudDrive = homeDirectory / "Library" / "Mobile Documents" / "com~apple~CloudDocs";
    bool cloudDriveExists = false;
    try {
        cloudDriveExists = fileManager.examine(cloudDrive).exists();
    } catch (const std::exception&) {
        // Defaults never fail: a folder that cannot even be examined is no cloud drive.
    }
    const Path root = cloudDriveExists ? cloudDrive / "Brindle" : homeDirectory / "Brindle Backups";
    BackupSettings settings;
    settings.destinationRootPath = standardized(root).string();
    for (const auto& item : DefaultBackupItems::items(homeDirectory)) settings.enabledItemIDs.insert(item.id);
    settings.backupIntervalMinutes = 30;
    return settings;
}

std::string toJson(const BackupSettings& settings) {
    return writeJson({
        {"backupIntervalMinutes", settings.backupIntervalMinutes},
        {"destinationRootPath", settings.destinationRootPath},
        {"enabledItemIDs", settings.enabledItemIDs},
    });
}

BackupSettings backupSettingsFromJson(std::string_view json) {
    using namespace json_reader;
    const std::string what = "settings file";
    auto object = parseObject(json, what);
    BackupSettings settings;
    settings.backupIntervalMinutes = requireInt64(object, "backupIntervalMinutes", what);
    settings.destinationRootPath = requireString(object, "destinationRootPath", what);
    for (auto& id : requireStringArray(object, "enabledItemIDs", what)) settings.enabledItemIDs.insert(std::move(id));
    return settings;
}

}  // namespace brindle
