#pragma once

#include <cstddef>

namespace ostrel::receipt {

enum class Framing {
    NeedMore, // the command is not whole yet
    Whole,    // `length` bytes, control byte included
    Unknown,  // no command of the standard set starts here
};

struct CommandSize {
    Framing framing = Framing::NeedMore;
    long long length = 0; // for NeedMore: the whole length once known, else 0
};

// The length of the command of the standard receipt command set that starts
// at bytes[0] (a control byte below 0x20), from the `available` bytes seen so
// far. Unknown covers `length` bytes: the control byte, and the function byte
// after a prefix. Never reads past `available`.
CommandSize MeasureCommand(const unsigned char* bytes, std::size_t available);

// The longest NUL-terminated parameter list the printer reads (GS k, ESC D).
constexpr int kMaxTerminatedLength = 255;

} // namespace ostrel::receipt
