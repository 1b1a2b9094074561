#pragma once

#include "receipt/printer_profile.h"
#include "receipt/symbol_geometry.h"

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>

namespace ostrel {

// Compares a job with a golden job command by command, as the printer model
// takes them and with the names the Receipt Preview lists them by, and
// describes the first differences: where, which command, and what differs.
//
// Both are read a chunk at a time and compared by the hashes of their
// commands in a window that moves along: memory stays flat however long
// they are. Past `mostCounted` differences the rest is not counted.
struct JobComparison {
    enum Outcome { Same, Differ, GoldenUnreadable, JobUnreadable };
    Outcome outcome = Same;
    std::string report;
};
// `model` is the printer the jobs are read as (--printer).
JobComparison CompareJobs(std::istream& golden, std::istream& job,
    const receipt::SymbolGeometry& geometry, std::size_t mostShown = 10,
    long long mostCounted = 100'000, const receipt::PrinterProfile* model = nullptr);

// The same for two jobs in memory; true when they are the same.
bool CompareJobs(
    std::string_view golden, std::string_view job, std::string& report, std::size_t mostShown = 10);

} // namespace ostrel
