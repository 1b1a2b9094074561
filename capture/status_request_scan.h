#pragma once

#include "capture/capture_state.h"
#include "capture/command_tracker.h"

#include <string_view>

namespace ostrel {

// Counts the status requests (DLE "R") the engine will answer while it takes a
// chunk. This follows the framing alone, byte by byte, without touching any
// view, so a chunk's requests can be answered before the slower work of
// showing the chunk: a printer answers status ahead of printing what it holds.
class StatusRequestScan {
public:
    // Given the state the engine starts the chunk from and whether the command
    // log is empty then.
    int count(const CaptureState& state, bool commandLogEmpty, std::string_view chunk);

    // For a scan that runs more than a chunk ahead of the engine: start from
    // where the engine stands, then count chunk after chunk, each continuing
    // where the last one ended.
    void restart(const CaptureState& state, bool commandLogEmpty);
    int countNext(std::string_view chunk);

private:
    CommandTracker tracker_; // kept, as making one costs more than a short chunk
    int column_ = 0;
    bool logEmpty_ = true;
};

} // namespace ostrel
