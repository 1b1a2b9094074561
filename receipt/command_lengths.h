#pragma once

#include <climits>
#include <cstddef>

#include "receipt/printer_profile.h"

namespace ostrel::receipt {

enum class Framing {
    NeedMore, // the command is not whole yet
    Whole, // `length` bytes, control byte included
    Unknown, // no command of the standard set starts here
};

// Which of its language's tables the printer reads with: Star's printers
// read raster mode's own commands from ESC * r A until ESC * r B.
enum class TableMode { Normal, Raster };

struct CommandSize {
    Framing framing = Framing::NeedMore;
    // For NeedMore: the whole length once known; for a command whose length
    // builds up as it arrives (ESC &, FS q), how long it is at least; else 0.
    long long length = 0;
};

// The length of the command of the printer's language that starts
// at bytes[0] (a control byte below 0x20), from the `available` bytes seen so
// far. Unknown covers `length` bytes: the control byte, and the function byte
// after a prefix. Never reads past `available`.
// A command whose length builds up as it arrives stops being measured once
// it is known to be longer than `cap`, so that where it is cut off does not
// depend on how much of it has arrived.
// Each language frames by its own table (see command_table.h).
CommandSize MeasureCommand(const unsigned char* bytes, std::size_t available,
    long long cap = LLONG_MAX, Language language = Language::EscPos,
    TableMode mode = TableMode::Normal);

// The longest NUL-terminated parameter list the printer reads (GS k, ESC D).
constexpr int kMaxTerminatedLength = 255;

} // namespace ostrel::receipt
