#pragma once

namespace brindle::shell {

// The running application as a whole.
class Application {
public:
    virtual ~Application() = default;
    // No taskbar or dock entry and no main window: only the status item shows.
    virtual void becomeAccessory() = 0;
    // Ends the event loop and with it the process; a run in progress is not waited for.
    virtual void terminate() = 0;
};

}  // namespace brindle::shell
