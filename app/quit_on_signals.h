#pragma once

#include <functional>

namespace ostrel {

// Makes SIGTERM, SIGINT and SIGHUP (a logout, systemctl stop, kill, Ctrl-C)
// end the application's event loop the way its own Exit does, so that what it
// holds (the serial port and its lock) is released on the way out. Call once,
// with the application object made. `onSignal`, when given, runs instead of
// ending the loop at once, on the event loop's thread.
void QuitOnSignals(std::function<void()> onSignal = {});

} // namespace ostrel
