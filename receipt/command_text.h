#pragma once

#include <cstddef>
#include <string>

namespace ostrel::receipt {

// "ESC E 1": the command's name, its function byte as a character and the
// parameters in decimal; long data is summed up as "+N bytes".
std::string CommandText(const unsigned char* command, std::size_t length);
// What the report counts a command as: "ESC E", "GS ( k", "LF".
std::string CommandKindName(const unsigned char* command, std::size_t length);
// "1B 7F"
std::string HexBytes(const unsigned char* bytes, std::size_t length);
void AppendUtf8(std::string& text, char32_t ch);
std::string Utf8(const std::u32string& text);

} // namespace ostrel::receipt
