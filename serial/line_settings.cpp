#include "serial/line_settings.h"

#include "serial/serial_control.h"

#include <cctype>
#include <charconv>
#include <vector>

namespace ostrel {

namespace {

    std::string Trimmed(std::string_view text)
    {
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
            text.remove_prefix(1);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
            text.remove_suffix(1);
        return std::string(text);
    }

    std::vector<std::string> SplitAtCommas(const std::string& text)
    {
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = text.find(',', start);
            parts.push_back(Trimmed(std::string_view(text).substr(start, comma - start)));
            if (comma == std::string::npos)
                return parts;
            start = comma + 1;
        }
    }

    [[noreturn]] void Reject(const std::string& what, const std::string& part, const char* allowed)
    {
        throw SerialError(
            "Invalid " + what + " \"" + part + "\" in the settings (" + allowed + ")");
    }

} // namespace

LineSettings ParseLineSettings(const std::string& text)
{
    const std::vector<std::string> parts = SplitAtCommas(text);
    if (parts.size() != 4)
        throw SerialError("Invalid settings \"" + text
            + "\" (four parts are needed: baud,parity,data bits,stop bits)");

    LineSettings settings;
    const std::string& baud = parts[0];
    const auto [end, ec]
        = std::from_chars(baud.data(), baud.data() + baud.size(), settings.baudRate);
    if (baud.empty() || ec != std::errc() || end != baud.data() + baud.size()
        || settings.baudRate <= 0)
        Reject("baud rate", baud, "a positive whole number such as 19200");

    const std::string& parity = parts[1];
    const char letter = parity.size() == 1
        ? static_cast<char>(std::toupper(static_cast<unsigned char>(parity[0])))
        : 0;
    switch (letter) {
    case 'N':
        settings.parity = LineSettings::Parity::None;
        break;
    case 'E':
        settings.parity = LineSettings::Parity::Even;
        break;
    case 'O':
        settings.parity = LineSettings::Parity::Odd;
        break;
    case 'M':
        settings.parity = LineSettings::Parity::Mark;
        break;
    case 'S':
        settings.parity = LineSettings::Parity::Space;
        break;
    default:
        Reject("parity", parity, "N, E, O, M or S");
    }

    const std::string& data = parts[2];
    if (data.size() != 1 || data[0] < '5' || data[0] > '8')
        Reject("data bits", data, "5, 6, 7 or 8");
    settings.dataBits = data[0] - '0';

    const std::string& stop = parts[3];
    if (stop == "1")
        settings.stopBits = LineSettings::StopBits::One;
    else if (stop == "1.5")
        settings.stopBits = LineSettings::StopBits::OneAndHalf;
    else if (stop == "2")
        settings.stopBits = LineSettings::StopBits::Two;
    else
        Reject("stop bits", stop, "1, 1.5 or 2");
    return settings;
}

} // namespace ostrel
