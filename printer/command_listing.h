#pragma once

#include "capture/command_tracker.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// A stream taken apart the way the command log frames it: each command with
// all its bytes (head, parameters, announced data), and the text between.
struct FramedPiece {
    std::size_t offset = 0;
    std::string bytes;
    bool command = false;
    bool complete = true; // false for a command the stream ended inside
};

std::vector<FramedPiece> SplitIntoCommands(std::string_view stream);

// How a piece reads in a listing: "ESC ! (Set Print Mode.) 1B 21 08",
// "text \"Hello\"", bytes past the first 24 shown as "...".
std::string DescribePiece(const FramedPiece& piece);

// The command's name alone: "ESC !", "LF", "GS V".
std::string CommandKind(std::string_view commandBytes);

// Counts commands by kind over a stream taken in chunks.
class CommandKindCounter {
public:
    void take(std::string_view chunk);
    const std::map<std::string, long long>& counts() const { return counts_; }

private:
    CommandTracker tracker_;
    std::map<std::string, long long> counts_;
};

} // namespace ostrel
