#include "BrindleApp/cli/CommandSettings.h"

#include "BrindleCore/FileSystemError.h"

namespace brindle::cli {

SettingsStore readSettings(FileManager& fileManager, const UserFolders& folders, std::ostream& err) {
    SettingsStore store(fileManager, SettingsStore::defaultSettingsURL(folders), folders.home);
    if (const auto& reason = store.ignoredFileReason()) {
        err << "Ignored the settings file " << quotedPath(store.settingsURL().string())
            << " and used the default settings: " << *reason << "\n";
    }
    return store;
}

}  // namespace brindle::cli
