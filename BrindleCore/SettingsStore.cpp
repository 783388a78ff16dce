#include "BrindleCore/SettingsStore.h"

#include <exception>

namespace brindle {

SettingsStore::SettingsStore(FileManager& fileManager, std::optional<Path> settingsURL, const Path& homeDirectory)
    : fileManager_(fileManager), settingsURL_(settingsURL ? *settingsURL : defaultSettingsURL(fileManager)) {
    // A missing, unreadable or malformed file silently gives the defaults; the file
    // itself is left as it is until the next save.
    try {
        settings_ = backupSettingsFromJson(fileManager_.readFile(settingsURL_));
        return;
    } catch (const std::exception&) {
    }
    settings_ = BackupSettings::defaults(homeDirectory, fileManager_);
}

Path SettingsStore::defaultSettingsURL(FileManager& fileManager) {
    auto folders = fileManager.applicationSupportDirectories();
    Path base = folders.empty() ? fileManager.homeDirectory() / "Library" / "Application Support" : folders.front();
    return base / "Brindle" / "settings.json";
}

void SettingsStore::save() {
    fileManager_.createDirectory(settingsURL_.parent_path());
    fileManager_.writeFileAtomically(settingsURL_, toJson(settings_));
}

void SettingsStore::update(const std::function<void(BackupSettings&)>& change) {
    change(settings_);
    save();
}

}  // namespace brindle
