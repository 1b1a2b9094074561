#pragma once

#include <cstdint>
#include <string_view>

namespace ostrel {

enum ControlByte : std::uint8_t {
    BEL = 7,
    HT = 9,
    LF = 10,
    FF = 12,
    CR = 13,
    DLE = 16,
    ESC = 27,
    GS = 29,
    US = 31,
};

// BEL, HT, LF, FF and CR are each a whole command.
constexpr bool IsSingleControlByte(int b)
{
    return b == BEL || b == HT || b == LF || b == FF || b == CR;
}

// DLE, ESC, GS and US open a command that takes at least one more byte.
constexpr bool IsPrefixByte(int b) { return b == DLE || b == ESC || b == GS || b == US; }

constexpr bool IsCommandStart(int b) { return IsSingleControlByte(b) || IsPrefixByte(b); }

// The byte as two upper-case hex digits, "0A", "1B", "FF".
std::string_view HexByte(std::uint8_t b);

} // namespace ostrel
