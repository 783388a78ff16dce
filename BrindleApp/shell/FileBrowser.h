#pragma once

#include "BrindleCore/FileManager.h"

namespace brindle::shell {

// The desktop's file manager.
class FileBrowser {
public:
    virtual ~FileBrowser() = default;
    // Shows the folder in a file-manager window. Only ever given an existing folder;
    // a failure to open it is not reported.
    virtual void openFolder(const Path& folder) = 0;
};

}  // namespace brindle::shell
