#include "capture/control_bytes.h"

#include <array>

namespace ostrel {

namespace {

constexpr std::array<char, 512> MakeHexTable()
{
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 512> table{};
    for (int b = 0; b < 256; ++b) {
        table[static_cast<std::size_t>(2 * b)] = digits[b >> 4];
        table[static_cast<std::size_t>(2 * b + 1)] = digits[b & 15];
    }
    return table;
}

constexpr std::array<char, 512> kHexTable = MakeHexTable();

} // namespace

std::string_view HexByte(std::uint8_t b) { return {kHexTable.data() + 2 * b, 2}; }

} // namespace ostrel
