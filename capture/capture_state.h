#pragma once

#include "protocol/command_framer.h"

#include <array>
#include <cstdint>

namespace ostrel {

// What the engine carries from one received byte to the next and from one
// chunk to the next: the framing (commandBytes, commandByteIndex,
// paramBytesPending) and the rest below. The raw capture is used from index 1;
// element 0 is never written, and the write index stops at the last element
// instead of wrapping.
struct CaptureState : FramingState {
    static constexpr int kCaptureLast = 10000;

    // Column 0-7 that the next byte takes in the current data row.
    std::int16_t rowColumn = 0;
    // Command-start bytes seen since start-up; stops at its maximum.
    std::int32_t commandCount = 0;
    // The raw capture, from index 1; element 10000 takes every byte past the
    // 9,999th.
    std::array<std::uint8_t, kCaptureLast + 1> captureBuffer {};
    // Where the next received byte is stored, 1 to 10000.
    std::int16_t captureIndex = 1;
};

} // namespace ostrel
