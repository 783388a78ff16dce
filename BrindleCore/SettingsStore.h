#pragma once

#include <functional>
#include <optional>

#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/FileManager.h"

namespace brindle {

// Holds the running application's settings: read from "settings.json" at
// construction (silently falling back to the defaults), written only by save().
class SettingsStore {
public:
    SettingsStore(FileManager& fileManager, std::optional<Path> settingsURL, const Path& homeDirectory);

    static Path defaultSettingsURL(FileManager& fileManager);

    BackupSettings& settings() { return settings_; }
    const BackupSettings& settings() const { return settings_; }
    const Path& settingsURL() const { return settingsURL_; }

    // Throws the file-system error of the step that failed; the file then stays whole.
    void save();
    // Applies the change in memory, then saves; a failed save keeps the change.
    void update(const std::function<void(BackupSettings&)>& change);

private:
    FileManager& fileManager_;
    Path settingsURL_;
    BackupSettings settings_;
};

}  // namespace brindle
