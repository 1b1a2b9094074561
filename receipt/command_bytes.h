#pragma once

#include <string>

// Small readers of command bytes that the printer model's parts share.
namespace ostrel::receipt::bytes {

constexpr unsigned char DLE = 0x10, ESC = 0x1B, FS = 0x1C, GS = 0x1D;

// A little-endian word: nL nH.
inline int Word(const unsigned char* p) { return p[0] + 256 * p[1]; }

inline bool On(unsigned char n) { return (n & 1) != 0; }

// Star takes many numbers either as a byte or as an ASCII digit ('0' or 0).
inline int Digit(unsigned char n) { return n >= '0' && n <= '9' ? n - '0' : n; }

inline std::string OnOff(const char* what, unsigned char n)
{
    return std::string(what) + (On(n) ? " on" : " off");
}

} // namespace ostrel::receipt::bytes
