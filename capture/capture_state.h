#pragma once

#include <array>
#include <cstdint>

namespace ostrel {

// What the engine carries from one received byte to the next and from one
// chunk to the next. The arrays are used from index 1; element 0 (and element
// 1000 of commandBytes) is never written, and the write indexes stop at the
// last element instead of wrapping.
struct CaptureState {
    static constexpr int kCommandBytesLast = 1000;
    static constexpr int kCaptureLast = 10000;

    // Column 0-7 that the next byte takes in the current data row.
    std::int16_t rowColumn = 0;
    // The bytes of the command being framed, from index 1.
    std::array<std::int16_t, kCommandBytesLast + 1> commandBytes{};
    // Where the next command byte is stored, 1 to 1000.
    std::int16_t commandByteIndex = 1;
    // Bytes that still belong to the open command; 0 means no command is open.
    // Wider than the other counters so that a bit-image length announced with
    // a high count byte of 128 or more keeps its full value (up to 65535).
    std::int32_t paramBytesPending = 0;
    // Command-start bytes seen since start-up; stops at its maximum.
    std::int32_t commandCount = 0;
    // The raw capture, from index 1; element 10000 takes every byte past the
    // 9,999th.
    std::array<std::uint8_t, kCaptureLast + 1> captureBuffer{};
    // Where the next received byte is stored, 1 to 10000.
    std::int16_t captureIndex = 1;
};

} // namespace ostrel
