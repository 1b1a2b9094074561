#pragma once

#include "printer/printer_state.h"

#include <cstdint>
#include <string>
#include <string_view>

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

// On Ethernet and wireless LAN every status goes out inside the automatic
// status: bit 7 of its second byte set, then two bytes (high first) saying
// how long the status data after them is. The automatic status alone carries
// none; ENQ's and EOT's byte come as their data.
std::string StarNetworkStatus(std::string automaticStatus, std::string_view data = {});
// A status byte as that data: its type ("01" for ENQ, "02" for EOT), ':',
// 'B' for binary, its length and the byte, ';'.
std::string StarNetworkStatusData(std::string_view type, std::uint8_t status);

} // namespace ostrel
