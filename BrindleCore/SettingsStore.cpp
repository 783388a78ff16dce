#include "BrindleCore/SettingsStore.h"

#include <exception>

namespace brindle {

SettingsStore::SettingsStore(FileManager& fileManager, std::optional<Path> settingsURL, const Path& homeDirectory)
    : fileManager_(fileManager),
      settingsURL_(settingsURL ? *settingsURL : defaultSettingsURL(UserFolders::current())) {
    // A missing, unreadable or malformed file gives the defaults; the file itself is
    // left as it is until the next save. Why a file that is there was passed over is
    // kept, for a command line to tell; the tray stays silent about it.
    try {
        if (fileManager_.examine(settingsURL_).exists()) {
            settings_ = backupSettingsFromJson(fileManager_.readFile(settingsURL_));
            return;
        }
    } catch (const std::exception& error) {
        ignoredFileReason_ = error.what();
    }
    settings_ = BackupSettings::defaults(homeDirectory, fileManager_);
}

Path SettingsStore::defaultSettingsURL(const UserFolders& folders) { return folders.config / "Brindle" / "settings.json"; }

void SettingsStore::save() {
    fileManager_.createDirectory(settingsURL_.parent_path());
    fileManager_.writeFileAtomically(settingsURL_, toJson(settings_));
}

void SettingsStore::update(const std::function<void(BackupSettings&)>& change) {
    change(settings_);
    save();
}

}  // namespace brindle
