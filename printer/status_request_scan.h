#pragma once

#include "protocol/command_framer.h"

#include <string_view>

namespace ostrel {

// Counts the status requests (DLE "R") the engine will answer while it takes
// the bytes. This follows the framing alone, without touching any view, so
// the requests can be answered before the slower work of showing the bytes:
// a printer answers status ahead of printing what it holds. It starts where
// the engine starts, and each count continues where the last one ended. Clear
// All changes nothing here: the framing goes on, and the log gains a line
// before the next byte is written, so every request found has a line.
class StatusRequestScan {
public:
    int countNext(std::string_view chunk);

private:
    CommandFramer framer_;
};

} // namespace ostrel
