#pragma once

// Print jobs spelled out in the tests: bytes and text pieces glued together.

#include <initializer_list>
#include <string>
#include <string_view>

namespace ostrel::test {

inline std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int value : values)
        bytes += static_cast<char>(value);
    return bytes;
}

constexpr int ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10, LF = 0x0A;

// GS ( k with its two-byte length worked out.
inline std::string TwoDimensional(int cn, int fn, std::string_view parameters)
{
    const std::size_t length = 2 + parameters.size();
    return Bytes({ GS, '(', 'k', static_cast<int>(length % 256), static_cast<int>(length / 256), cn,
               fn })
        + std::string(parameters);
}

// GS ( L with its two-byte length worked out; `parameters` start at fn.
inline std::string Graphics(int fn, std::string_view parameters)
{
    const std::size_t length = 2 + parameters.size();
    return Bytes({ GS, '(', 'L', static_cast<int>(length % 256), static_cast<int>(length / 256), 48,
               fn })
        + std::string(parameters);
}

// A case's description as a test name: letters and digits, the rest "_".
inline std::string TestName(std::string description)
{
    for (char& c : description)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            c = '_';
    return description;
}

} // namespace ostrel::test
