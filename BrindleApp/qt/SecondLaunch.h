#pragma once

#include <functional>

namespace brindle::qt {

// A second `brindle`, started from the application menu while the tray runs, reaches
// the running tray over the session bus: the tray owns the application's bus name and
// answers org.freedesktop.Application's Activate, which asks it to show that it is there.
// Which process is first is decided by the single-instance lock, not by the bus.

// In the running tray: `onActivate` runs on the main thread for each later launch.
// False where there is no session bus or the name is taken.
bool answerLaterLaunches(std::function<void()> onActivate);

// In a later launch: asks the running tray to show itself. False where it could not be
// reached within a few seconds.
bool activateRunningTray();

// A desktop notification that Brindle is already running, for a tray that cannot open
// its own menu.
void notifyAlreadyRunning();

}  // namespace brindle::qt
