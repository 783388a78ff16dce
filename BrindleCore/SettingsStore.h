#pragma once

#include <functional>
#include <optional>
#include <string>

#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileManager.h"
#include "BrindleCore/UserFolders.h"

namespace brindle {

// Holds the running application's settings: read from "settings.json" at
// construction (silently falling back to the defaults), written only by save().
class SettingsStore {
public:
    // Without a settings location, the default one for the current user.
    SettingsStore(FileManager& fileManager, std::optional<Path> settingsURL, const Path& homeDirectory);

    // "Brindle/settings.json" in the user's configuration folder.
    static Path defaultSettingsURL(const UserFolders& folders);

    BackupSettings& settings() { return settings_; }
    const BackupSettings& settings() const { return settings_; }
    const Path& settingsURL() const { return settingsURL_; }
    // Why a settings file that exists could not be used and the defaults were taken
    // instead; nothing when the file was read, or when there was none.
    const std::optional<std::string>& ignoredFileReason() const { return ignoredFileReason_; }

    // Throws the file-system error of the step that failed; the file then stays whole.
    void save();
    // Applies the change in memory, then saves; a failed save keeps the change.
    void update(const std::function<void(BackupSettings&)>& change);

private:
    FileManager& fileManager_;
    Path settingsURL_;
    BackupSettings settings_;
    std::optional<std::string> ignoredFileReason_;
};

}  // namespace brindle
