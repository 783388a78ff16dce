#pragma once

namespace brindle::qt {

// `brindle` with no arguments: the tray application. Returns the exit status for the
// cases that end before the event loop starts (no display: 1; already running: 0);
// once the event loop has run, the process ends inside this call, without waiting for
// a backup in progress.
int runTray(int argc, char** argv);

// The one line printed when there is no graphical session.
extern const char* const noDisplayMessage;
// Printed by a second `brindle` while one is running.
extern const char* const alreadyRunningMessage;

}  // namespace brindle::qt
