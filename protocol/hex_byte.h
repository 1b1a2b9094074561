#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ostrel {

namespace detail {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    struct HexTable {
        char pairs[512];
        constexpr HexTable()
            : pairs()
        {
            for (int b = 0; b < 256; ++b) {
                pairs[2 * b] = kHexDigits[b >> 4];
                pairs[2 * b + 1] = kHexDigits[b & 15];
            }
        }
    };
    inline constexpr HexTable kHexTable {};
} // namespace detail

// The byte as two upper-case hex digits, "0A", "1B", "FF".
inline std::string_view HexByte(std::uint8_t b) { return { detail::kHexTable.pairs + 2 * b, 2 }; }

// "0A 1B": the bytes in hex, a blank between each two.
inline std::string HexBytes(std::string_view bytes)
{
    std::string hex;
    for (const char c : bytes) {
        if (!hex.empty())
            hex += ' ';
        hex += HexByte(static_cast<std::uint8_t>(c));
    }
    return hex;
}

// Writes " " and the byte's two hex digits at `to`.
inline void PutBlankAndHex(char* to, std::uint8_t b)
{
    to[0] = ' ';
    std::memcpy(to + 1, detail::kHexTable.pairs + 2 * b, 2);
}

} // namespace ostrel
