#pragma once

#include "capture/capture_state.h"

#include <string_view>

namespace ostrel {

// How many status requests (DLE "R") the engine will answer while it takes
// `chunk`, given the state it starts from and whether the command log is empty
// then. This follows the framing alone, byte by byte, without touching any
// view, so a chunk's requests can be answered before the slower work of
// showing the chunk: a printer answers status ahead of printing what it holds.
int CountAnsweredStatusRequests(const CaptureState& state, bool commandLogEmpty,
                                std::string_view chunk);

} // namespace ostrel
