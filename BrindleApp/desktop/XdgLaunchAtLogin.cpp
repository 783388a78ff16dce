#include "BrindleApp/desktop/XdgLaunchAtLogin.h"

namespace brindle::desktop {

shell::LaunchAtLoginStatus XdgLaunchAtLogin::status() {
    return autostart_.isEnabled() ? shell::LaunchAtLoginStatus::enabled : shell::LaunchAtLoginStatus::notRegistered;
}

void XdgLaunchAtLogin::registerApplication() { autostart_.enable(); }

void XdgLaunchAtLogin::unregisterApplication() { autostart_.disable(); }

}  // namespace brindle::desktop
