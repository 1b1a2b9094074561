#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace ostrel {

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

struct BlankHexTable {
    char quads[1024];
    constexpr BlankHexTable() : quads()
    {
        for (int b = 0; b < 256; ++b) {
            quads[4 * b] = ' ';
            quads[4 * b + 1] = kHexDigits[b >> 4];
            quads[4 * b + 2] = kHexDigits[b & 15];
        }
    }
};
inline constexpr BlankHexTable kBlankHexTable{};
} // namespace detail

// The byte as two upper-case hex digits, "0A", "1B", "FF".
inline std::string_view HexByte(std::uint8_t b) { return {detail::kHexTable.pairs + 2 * b, 2}; }

// Writes " " and the byte's two hex digits at `to`, as one four-byte store:
// the byte after them is overwritten too, so `to` must have room for four.
inline void PutBlankAndHex(char* to, std::uint8_t b)
{
    std::memcpy(to, detail::kBlankHexTable.quads + 4 * b, 4);
}

} // namespace ostrel
