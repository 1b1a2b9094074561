#pragma once

#include "printer/printer_state.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// Faults on a schedule, one a line: "after receipt 3: paper-out", "after
// 2 s: cover-open", "after 500 mm: paper-near-end", "after 40000 bytes:
// offline", "after 1 s: clear". "after" counts from the line before it
// (the first from the start), "at" from the start; receipts, paper and bytes
// are those the printer received. The state is a list as --state takes it,
// and replaces the state the line before set.
struct FaultLine {
    enum class Unit { Seconds, Receipts, Millimetres, Bytes };
    int number = 0; // in the file
    bool fromStart = false;
    Unit unit = Unit::Seconds;
    double amount = 0;
    PrinterState state;
    std::string stateText; // as written: "paper-out"
};

// False with the line and the reason: "line 2: "after 2 parsecs": the unit
// is not one of s, ms, mm, m, receipt(s), byte(s)".
bool ParseFaultScript(std::string_view text, std::vector<FaultLine>& lines, std::string& error);

// Runs the lines in turn against the printer's counts.
class FaultScript {
public:
    struct Counts {
        double seconds = 0;
        long long receipts = 0;
        double millimetres = 0;
        long long bytes = 0;
    };
    explicit FaultScript(std::vector<FaultLine> lines)
        : lines_(std::move(lines))
    {
    }
    // The next line, once the counts reach its trigger.
    std::optional<FaultLine> due(const Counts& now);
    bool done() const { return next_ >= lines_.size(); }

private:
    std::vector<FaultLine> lines_;
    std::size_t next_ = 0;
    Counts since_; // the counts when the line before fired
};

} // namespace ostrel
