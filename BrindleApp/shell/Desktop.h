#pragma once

#include <optional>
#include <string>

#include "BrindleCore/FileManager.h"

namespace brindle::shell {

// What the menu's commands ask of the desktop. The two modal panels return once the
// user has closed them; the main thread's event loop may keep running timers and jobs
// while they are up.
class Desktop {
public:
    virtual ~Desktop() = default;

    // A modal warning: the headline, and the error's description below it.
    virtual void showError(const std::string& messageText, const std::string& informativeText) = 0;
    // A modal chooser of one folder (new ones can be made in it), starting in
    // `startingFolder` or a place of its own if that is gone. The chosen folder as an
    // absolute path, or nothing when the user cancelled.
    virtual std::optional<Path> chooseFolder(const std::string& title, const Path& startingFolder) = 0;
    // Shows the folder in the file manager. Only ever given an existing folder; a
    // failure to open it is not reported.
    virtual void openFolder(const Path& folder) = 0;
    // An update check the user asked for, showing its own windows.
    virtual void checkForUpdates() = 0;
    // Ends the event loop and with it the process; a run in progress is not waited for.
    virtual void terminate() = 0;
};

}  // namespace brindle::shell
