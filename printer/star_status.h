#pragma once

#include "printer/printer_state.h"

#include <cstdint>
#include <string>

namespace ostrel {

// Star's status, as its Line mode and StarPRNT printers send it, from the
// same printer state the ESC/POS replies read.

// The automatic status (ASB): nine bytes, the first saying how many there
// are. `etbCounter` is ETB's five-bit count; `etbExecuted` says an ETB has
// been counted since the host last heard.
std::string StarAutomaticStatus(const PrinterState& state, int etbCounter, bool etbExecuted);
// The one byte ENQ is answered with.
std::uint8_t StarEnqStatus(const PrinterState& state);
// The one byte EOT is answered with.
std::uint8_t StarEotStatus(const PrinterState& state);

} // namespace ostrel
