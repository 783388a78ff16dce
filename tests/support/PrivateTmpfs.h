#pragma once

#include <functional>
#include <optional>
#include <string>

#include "BrindleCore/FileManager.h"

namespace brindle::testing {

struct PrivateTmpfsOutcome {
    bool available = true;  // false: this machine forbids private mount namespaces
    std::string failure;    // empty when the body's checks all held
};

// Runs `body` in a child process that has a tmpfs of `size` (e.g. "512k") mounted at
// `mountPoint` in a mount namespace of its own, so a real full disk can be tested
// without touching the machine. The body returns "" when its checks hold, else what
// went wrong.
PrivateTmpfsOutcome withPrivateTmpfs(const Path& mountPoint, const std::string& size,
                                     const std::function<std::string()>& body);

}  // namespace brindle::testing
