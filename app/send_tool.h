#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ostrel {

// ostrel-send: sends a job file to a network printer (or to ostrel-capture)
// as a point-of-sale program would, shuts its side, and prints the printer's
// replies until it closes. Returns the exit status.
int RunSend(const std::vector<std::string>& args, std::istream& standardInput,
    std::ostream& standardOutput, std::ostream& standardError);

} // namespace ostrel
