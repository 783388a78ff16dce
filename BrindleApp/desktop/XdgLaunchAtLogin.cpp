#include "BrindleApp/desktop/XdgLaunchAtLogin.h"

namespace brindle::desktop {

shell::LaunchAtLoginStatus XdgLaunchAtLogin::status() {
    return autostart_.status() == XdgAutostart::enabled ? shell::LaunchAtLoginStatus::enabled
                                                        : shell::LaunchAtLoginStatus::notRegistered;
}

void XdgLaunchAtLogin::registerApplication() {
    autostart_.registerService();
}

void XdgLaunchAtLogin::unregisterApplication() {
    autostart_.unregisterService();
}

}  // namespace brindle::desktop
