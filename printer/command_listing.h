#pragma once

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

// Commands counted by their first byte (below 32) and second byte; a single
// control byte under second byte 0.
using CommandKindCounts = std::vector<long long>;
inline CommandKindCounts NoCommandKinds() { return CommandKindCounts(32 * 256); }
inline void CountCommandKind(CommandKindCounts& counts, int first, int second)
{
    ++counts[static_cast<std::size_t>(first) * 256 + static_cast<std::size_t>(second)];
}

// The counts by name: "ESC @" -> 2, "LF" -> 14, ...
std::map<std::string, long long> NamedCommandKinds(const CommandKindCounts& counts);

} // namespace ostrel
