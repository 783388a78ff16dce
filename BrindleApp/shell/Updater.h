#pragma once

namespace brindle::shell {

// Software updates. The implementation starts itself when it is made; how and when it
// checks on its own is its own configuration.
class Updater {
public:
    virtual ~Updater() = default;
    // A check the user asked for: runs at once and shows its own windows.
    virtual void checkForUpdates() = 0;
};

}  // namespace brindle::shell
