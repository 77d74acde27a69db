// Termination requests from outside: SIGTERM, SIGINT and SIGHUP (a screensaver host ends
// its program with SIGTERM, a terminal with SIGINT or SIGHUP) become WM_CLOSE posted to the
// application's windows, as a session end does on the original platform, so that the
// program closes its windows and removes its files as on any other close.
//
// The signal handler only writes a byte to a pipe; a watcher thread reads it and wakes the
// message loop, which posts the WM_CLOSE messages (it alone touches the window tree). A
// program that has not ended within kTerminationGraceMs of the first signal (still
// starting up, a window that does not close) or that gets a second signal runs the exit
// cleanups (exit_cleanup.h) on the watcher thread and then dies of the signal.
#pragma once

#include <cstdint>

namespace win {

constexpr int kTerminationGraceMs = 5000;

// Installs the handlers and starts the watcher (once; later calls do nothing).
void InstallTerminationSignals();

// Asks the application's windows to close, as a signal does, without the deadline: the
// next look at the message queue posts WM_CLOSE to every visible top-level window (and
// to the windows placed inside an adopted foreign window), and to each window that
// becomes visible later. Any thread.
void RequestCloseAll();

// 0 until a close was requested (by a signal or RequestCloseAll), then nonzero.
uint64_t CloseRequested();

}  // namespace win
