#pragma once

#include "BrindleApp/desktop/XdgAutostart.h"
#include "BrindleApp/shell/LaunchAtLoginService.h"

namespace brindle::desktop {

// The shell's launch-at-login service as an XDG autostart entry. Read afresh on
// every call, so an entry the user removed by hand shows as it is.
class XdgLaunchAtLogin final : public shell::LaunchAtLoginService {
public:
    explicit XdgLaunchAtLogin(XdgAutostart autostart) : autostart_(std::move(autostart)) {}

    // enabled or notRegistered.
    shell::LaunchAtLoginStatus status() override;
    // Throw the file service's error, whose what() is the sentence the alert shows.
    void registerApplication() override;
    void unregisterApplication() override;

private:
    XdgAutostart autostart_;
};

}  // namespace brindle::desktop
