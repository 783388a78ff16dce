#pragma once

#include <string>

namespace brindle::shell {

// Modal warnings about a failure.
class Alerts {
public:
    virtual ~Alerts() = default;
    // Shows a warning with a headline and the error's description below it, and
    // returns once the user has dismissed it. The main thread's event loop may keep
    // running timers and jobs while it is up.
    virtual void showError(const std::string& messageText, const std::string& informativeText) = 0;
};

}  // namespace brindle::shell
