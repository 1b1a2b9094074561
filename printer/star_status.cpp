#include "printer/star_status.h"

namespace ostrel {
namespace {

    std::uint8_t Bit(bool on, int bit) { return on ? static_cast<std::uint8_t>(1u << bit) : 0; }

    // Star spreads a count over bits 1, 2, 3, 5 and 6, leaving 0 and 4 fixed.
    std::uint8_t Spread(int value)
    {
        return static_cast<std::uint8_t>(Bit(value & 1, 1) | Bit(value & 2, 2) | Bit(value & 4, 3)
            | Bit(value & 8, 5) | Bit(value & 16, 6));
    }

    constexpr int kAsbBytes = 9;
    constexpr int kAsbVersion = 3;

} // namespace

std::string StarAutomaticStatus(const PrinterState& s, int etbCounter, bool etbExecuted)
{
    const std::uint8_t bytes[kAsbBytes] = {
        static_cast<std::uint8_t>(Spread(kAsbBytes) | 0x01), // header 1: its length, bit 0 set
        Spread(kAsbVersion), // header 2: the status version
        static_cast<std::uint8_t>(Bit(etbExecuted, 1) | Bit(s.drawerOpen, 2) | Bit(s.isOffline(), 3)
            | Bit(s.coverOpen, 5)),
        static_cast<std::uint8_t>(
            Bit(s.recoverableError, 2) | Bit(s.autocutterError, 3) | Bit(s.unrecoverableError, 5)),
        0, // buffer overflow, black mark, presenter: none
        static_cast<std::uint8_t>(Bit(s.paperNearEnd, 2) | Bit(s.paperOut, 3)),
        0, // slip and presenter sensors: none
        Spread(etbCounter & 31),
        0, // presenter paper position: none
    };
    return std::string(reinterpret_cast<const char*>(bytes), kAsbBytes);
}

std::uint8_t StarEnqStatus(const PrinterState& s)
{
    // Bit 5: the reception buffer is empty, as it always is here.
    return static_cast<std::uint8_t>(Bit(s.drawerOpen, 7) | Bit(true, 5) | Bit(s.paperOut, 3)
        | Bit(s.unrecoverableError || s.coverOpen, 2));
}

std::uint8_t StarEotStatus(const PrinterState& s)
{
    return static_cast<std::uint8_t>(Bit(true, 4) | Bit(s.paperOut, 3) | Bit(s.paperNearEnd, 2));
}

std::string StarNetworkStatus(std::string automaticStatus, std::string_view data)
{
    automaticStatus[1] = static_cast<char>(static_cast<std::uint8_t>(automaticStatus[1]) | 0x80);
    automaticStatus += static_cast<char>(data.size() >> 8);
    automaticStatus += static_cast<char>(data.size() & 0xFF);
    return automaticStatus.append(data);
}

std::string StarNetworkStatusData(std::string_view type, std::uint8_t status)
{
    std::string data(type);
    data += ":B";
    data += '\0';
    data += '\1';
    data += static_cast<char>(status);
    return data + ';';
}

} // namespace ostrel
