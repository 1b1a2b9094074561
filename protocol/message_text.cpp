#include "protocol/message_text.h"

#include "protocol/hex_byte.h"

#include <cstdint>

namespace ostrel {

std::size_t Utf8CharacterAt(std::string_view text, std::size_t at, char32_t& code)
{
    const auto b = static_cast<std::uint8_t>(text[at]);
    const std::size_t length = b < 0x80 ? 1
        : b >= 0xC2 && b < 0xE0         ? 2
        : b >= 0xE0 && b < 0xF0         ? 3
        : b >= 0xF0 && b <= 0xF4        ? 4
                                        : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    code = length == 1 ? b : b & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    return overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? 0 : length;
}

namespace {

    // The length of the printable character at `at`, or 0: controls, C0 and C1
    // alike, are not printable.
    std::size_t PrintableAt(std::string_view text, std::size_t at)
    {
        char32_t code = 0;
        const std::size_t length = Utf8CharacterAt(text, at, code);
        const bool control = code < 0x20 || (code >= 0x7F && code < 0xA0);
        return control ? 0 : length;
    }

} // namespace

std::string QuotedForMessage(std::string_view text)
{
    bool plain = true;
    for (std::size_t at = 0; at < text.size() && plain;) {
        const std::size_t length = PrintableAt(text, at);
        plain = length > 0;
        at += length;
    }
    if (plain)
        return std::string(text);
    std::string quoted = "$'";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = PrintableAt(text, at);
        if (length > 0) {
            if (text[at] == '\'' || text[at] == '\\')
                quoted += '\\';
            quoted.append(text.substr(at, length));
            at += length;
            continue;
        }
        switch (text[at]) {
        case '\n':
            quoted += "\\n";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\x1B':
            quoted += "\\e";
            break;
        case '\a':
            quoted += "\\a";
            break;
        default:
            quoted += "\\x";
            quoted += HexByte(static_cast<std::uint8_t>(text[at]));
        }
        ++at;
    }
    return quoted + "'";
}

} // namespace ostrel
