#pragma once

#include "session/capture_session.h"

#include <string>

namespace ostrel {

// Takes a saved capture or job file into the session as if its bytes had
// just been received (a raw capture file without its element 0): the lists,
// counters and listeners see them; nothing is sent back. False with a reason
// naming the file, and the session untouched, when it cannot be read.
bool OpenSavedCapture(CaptureSession& session, const std::string& path, std::string& error);

} // namespace ostrel
