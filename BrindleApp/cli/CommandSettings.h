#pragma once

#include <ostream>

#include "BrindleCore/FileManager.h"
#include "BrindleCore/SettingsStore.h"
#include "BrindleCore/UserFolders.h"

namespace brindle::cli {

// The settings as every command reads them: read only, never written back. The tray
// falls back to the defaults silently; a command says so on `err`, so that a
// hand-edited file that is off by one key does not send backups elsewhere unnoticed.
SettingsStore readSettings(FileManager& fileManager, const UserFolders& folders, std::ostream& err);

}  // namespace brindle::cli
