#include "serial/port_number.h"

#include "serial/serial_control.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace ostrel {

double LeadingNumber(const std::string& text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    std::size_t end = at;
    if (end < text.size() && (text[end] == '+' || text[end] == '-'))
        ++end;
    const std::size_t digitsStart = end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
        ++end;
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
    }
    if (end == digitsStart || (end == digitsStart + 1 && text[digitsStart] == '.'))
        return 0;
    std::string number = text.substr(at, end - at);
    if (number[0] == '+')
        number.erase(0, 1);
    double value = 0;
    std::from_chars(number.data(), number.data() + number.size(), value);
    return value;
}

std::int16_t PortNumberFromText(const std::string& text)
{
    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(LeadingNumber(text));
    if (rounded < -32768 || rounded > 32767)
        throw SerialError(
            "Port number " + ShortestDecimal(LeadingNumber(text)) + " is out of range");
    return static_cast<std::int16_t>(rounded);
}

std::string ShortestDecimal(double value)
{
    if (value == 0)
        return "0"; // also for -0
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string PortLinkFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path folder;
    if (config != nullptr && *config != '\0') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::filesystem::path(home != nullptr ? home : "") / ".config";
    }
    return (folder / "ostrel-serial-capture").string();
}

std::string PortDevice(int port)
{
#ifdef _WIN32
    return "COM" + std::to_string(port);
#else
    const std::filesystem::path link
        = std::filesystem::path(PortLinkFolder()) / ("com" + std::to_string(port));
    std::error_code error;
    if (std::filesystem::is_symlink(link, error)) {
        std::filesystem::path target = std::filesystem::read_symlink(link, error);
        if (!error)
            return (target.is_absolute() ? target : link.parent_path() / target).string();
    }
    return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

} // namespace ostrel
