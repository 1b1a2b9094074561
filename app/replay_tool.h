#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ostrel {

// ostrel-replay: feeds a file of received bytes through the capture engine and
// writes what the window would show and save. Returns the exit status: 0 done,
// 1 an input or output file failed, 2 bad usage.
int RunReplay(const std::vector<std::string>& args, std::istream& standardInput,
    std::ostream& standardOutput, std::ostream& standardError);

} // namespace ostrel
