#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// Compares a job with a golden job command by command (as the command log
// frames them) and describes the first differences: where, which command,
// and what differs. Returns true when the two are the same.
bool CompareJobs(std::string_view golden, std::string_view job, std::string& report,
                 std::size_t mostDifferences = 10);

} // namespace ostrel
