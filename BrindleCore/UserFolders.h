#pragma once

#include "BrindleCore/FileManager.h"

namespace brindle {

// Where the current user's things live: the home folder (whose ".codex" and ".agents"
// are backed up) and the configuration folder (which holds Brindle's settings and
// locks, and the desktop's autostart entries).
struct UserFolders {
    Path home;
    Path config;

    // $HOME when it is an absolute path, else the password database's entry, else
    // "/"; $XDG_CONFIG_HOME when it is an absolute path, else the home's ".config".
    static UserFolders current();
};

}  // namespace brindle
