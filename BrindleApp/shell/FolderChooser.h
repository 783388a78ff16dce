#pragma once

#include <optional>
#include <string>

#include "BrindleCore/FileManager.h"

namespace brindle::shell {

struct FolderChooserOptions {
    std::string title;
    bool canChooseFiles = false;
    bool canChooseDirectories = true;
    bool canCreateDirectories = true;
    bool allowsMultipleSelection = false;
    // Where the chooser starts; the platform picks a place of its own if it is gone.
    Path directory;
};

// The platform's modal "choose a folder" dialog.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    // Returns once the dialog is closed: the chosen folder as an absolute path, or
    // nothing when the user cancelled or no folder came back. The main thread's
    // event loop may keep running timers and jobs while it is up.
    virtual std::optional<Path> chooseFolder(const FolderChooserOptions& options) = 0;
};

}  // namespace brindle::shell
