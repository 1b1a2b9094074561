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

namespace detail {
constexpr char kHexDigits[] = "0123456789ABCDEF";
struct HexTable {
    char pairs[512];
    constexpr HexTable() : pairs()
    {
        for (int b = 0; b < 256; ++b) {
            pairs[2 * b] = kHexDigits[b >> 4];
            pairs[2 * b + 1] = kHexDigits[b & 15];
        }
    }
};
inline constexpr HexTable kHexTable{};
} // namespace detail

// The byte as two upper-case hex digits, "0A", "1B", "FF".
inline std::string_view HexByte(std::uint8_t b) { return {detail::kHexTable.pairs + 2 * b, 2}; }

} // namespace ostrel
