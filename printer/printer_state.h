#pragma once

#include "receipt/printer_profile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// What the printer's sensors and switches say, as the user sets them to try
// a driver's error handling. The replies to the real-time and transmit
// status requests are read from it.
struct PrinterState {
    bool offline = false; // put offline by hand
    bool coverOpen = false;
    bool paperNearEnd = false;
    bool paperOut = false;
    bool drawerOpen = false; // the drawer sensor, connector pin 3, high
    bool recoverableError = false;
    bool unrecoverableError = false;
    bool autocutterError = false;
    bool feedButton = false; // the paper feed button held
    // Who it says it is to GS I, the printer model's maker and name; this
    // tool's own when empty.
    std::string maker, model;

    bool anyError() const { return recoverableError || unrecoverableError || autocutterError; }
    // A printer stops taking jobs with its cover open, out of paper, on an
    // error or while paper is fed by hand, as well as when put offline.
    bool isOffline() const { return offline || coverOpen || paperOut || feedButton || anyError(); }
    bool operator==(const PrinterState&) const = default;
};

// The one rule for who a printer says it is: the model's maker and name,
// none for the generic model (the tool's own).
void SetModel(PrinterState& state, const receipt::PrinterProfile& profile);

// The names of the states, as lists are written: "paper-out,cover-open".
struct PrinterStateName {
    const char* name;
    bool PrinterState::*field;
    const char* label; // for a check box
};
const std::vector<PrinterStateName>& PrinterStateNames();

// Reads a comma-separated list of names ("" is the default state); false
// with a reason naming the word and the names it may be.
bool ParsePrinterState(std::string_view list, PrinterState& state, std::string& error);
std::string PrinterStateList(const PrinterState& state);

// DLE EOT n, n 1-4: printer, offline cause, error cause, paper roll sensor.
std::uint8_t RealTimeStatus(const PrinterState& state, int n);
// GS r n, n 1 or 49 (paper sensor), 2 or 50 (drawer connector).
std::uint8_t TransmittedStatus(const PrinterState& state, int n);
// GS a's automatic status back: four bytes.
std::string AutomaticStatus(const PrinterState& state);
// The GS a bits whose groups differ between the two states: 1 drawer,
// 2 online/offline, 4 errors, 8 paper roll sensor.
std::uint8_t ChangedStatusGroups(const PrinterState& before, const PrinterState& after);
// GS I n: this tool's own identity, not a real printer's; empty for an n
// it does not answer.
std::string PrinterIdReply(int n, const PrinterState& state = {});

} // namespace ostrel
