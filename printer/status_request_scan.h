#pragma once

#include "capture/capture_state.h"
#include "protocol/command_framer.h"

#include <string_view>

namespace ostrel {

// Counts the status requests (DLE "R") the engine will answer while it takes
// the bytes. This follows the framing alone, without touching any view, so
// the requests can be answered before the slower work of showing the bytes:
// a printer answers status ahead of printing what it holds.
class StatusRequestScan {
public:
    // Starts from where the engine stands and whether its command log is
    // empty then; afterwards each count continues where the last one ended.
    void restart(const CaptureState& state, bool commandLogEmpty);
    int countNext(std::string_view chunk);
    // Clear All empties the command log; the framing goes on.
    void logCleared() { logEmpty_ = true; }

private:
    CommandFramer framer_;
    int column_ = 0;
    bool logEmpty_ = true;
};

} // namespace ostrel
