#include "receipt/command_text.h"

#include "protocol/hex_byte.h"

namespace ostrel::receipt {
namespace {

    constexpr std::size_t kShownParameters = 8;

    const char* ControlName(unsigned char b)
    {
        static const char* names[32] = { "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
            "BS", "HT", "LF", "VT", "FF", "CR", "SO", "SI", "DLE", "DC1", "DC2", "DC3", "DC4",
            "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS", "GS", "RS", "US" };
        return b < 32 ? names[b] : nullptr;
    }

    // The byte after a prefix: a letter or sign as itself, a control by name.
    std::string FunctionName(unsigned char b)
    {
        if (b == ' ')
            return "SP";
        if (b > ' ' && b < 0x7F)
            return std::string(1, static_cast<char>(b));
        if (const char* name = ControlName(b))
            return name;
        return std::to_string(b);
    }

    bool IsPrefix(unsigned char b) { return b == 0x10 || b == 0x1B || b == 0x1C || b == 0x1D; }

    // How many bytes name the command: "GS ( k", "GS 8 L", "GS v 0" and Star's
    // "ESC GS a" take three; Star's raster mode's "ESC FF NUL" three, "ESC * r A"
    // four and "ESC * r m l" five.
    std::size_t NameLength(const unsigned char* c, std::size_t length)
    {
        if (length < 2 || !IsPrefix(c[0]))
            return length < 1 ? 0 : 1;
        if (c[0] == 0x1B && c[1] == 0x0C && length == 3)
            return 3;
        if (length >= 4 && c[0] == 0x1B && c[1] == '*' && c[2] == 'r')
            return length >= 5 && c[3] == 'm' ? 5 : 4;
        if (length >= 3 && (c[1] == '(' || (c[0] == 0x1D && (c[1] == '8' || c[1] == 'v'))))
            return 3;
        // Star's ESC GS, ESC RS and ESC FS families: "ESC GS a", "ESC RS F".
        if (length >= 3 && c[0] == 0x1B && (c[1] == 0x1C || c[1] == 0x1D || c[1] == 0x1E))
            return 3;
        return 2;
    }

} // namespace

std::string CommandKindName(const unsigned char* c, std::size_t length)
{
    if (length == 0)
        return {};
    // Star's raster lines are letters: "b", "k".
    std::string name = ControlName(c[0]) ? ControlName(c[0]) : FunctionName(c[0]);
    std::size_t named = NameLength(c, length);
    for (std::size_t i = 1; i < named; ++i)
        name += " " + FunctionName(c[i]);
    return name;
}

std::string CommandText(const unsigned char* c, std::size_t length)
{
    if (length == 0)
        return {};
    std::string text = CommandKindName(c, length);
    std::size_t named = NameLength(c, length);
    std::size_t shown = length - named <= kShownParameters ? length : named + kShownParameters - 1;
    for (std::size_t i = named; i < shown; ++i)
        text += " " + std::to_string(c[i]);
    if (shown < length)
        text += " +" + std::to_string(length - shown) + " bytes";
    return text;
}

std::string HexBytes(const unsigned char* bytes, std::size_t length)
{
    std::string hex;
    for (std::size_t i = 0; i < length; ++i) {
        if (i)
            hex += ' ';
        hex += HexByte(bytes[i]);
    }
    return hex;
}

void AppendUtf8(std::string& text, char32_t ch)
{
    if (ch < 0x80) {
        text += static_cast<char>(ch);
    } else if (ch < 0x800) {
        text += static_cast<char>(0xC0 | (ch >> 6));
        text += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        text += static_cast<char>(0xE0 | (ch >> 12));
        text += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (ch >> 18));
        text += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

std::string Utf8(const std::u32string& text)
{
    std::string utf8;
    for (char32_t ch : text)
        AppendUtf8(utf8, ch);
    return utf8;
}

} // namespace ostrel::receipt
