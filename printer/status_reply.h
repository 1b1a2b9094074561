#pragma once

#include "protocol/command_set.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// The window's status controls as the reply reads them: check-box values,
// 1 for ticked. They are read at the moment of each request, never cached;
// a port answering on its own thread gets them anew at every change.
class StatusControls {
public:
    virtual ~StatusControls() = default;
    virtual int enableStatusBackValue() const = 0; // "Enable Status Return"
    virtual int statusBitsValue(int index) const = 0; // column "Byte 1", index 0-7
    virtual int statusBits2Value(int index) const = 0; // column "Byte 2", index 0-7
};

// Where the reply goes: the serial control's Output, one write per reply.
class ReplyOutput {
public:
    virtual ~ReplyOutput() = default;
    virtual void Output(std::string_view bytes) = 0;
};

// Whether a command with this head gets a status reply: DLE "R", named on a
// command log that has a line. With an empty log there is no line to name,
// and no reply goes out either. ("Enable Status Return" decides the rest.)
constexpr bool IsAnsweredStatusRequest(int first, int second, bool commandLogEmpty)
{
    return !commandLogEmpty && first == DLE && second == 'R';
}

// Box i gives the bit with mask 2^i; box 0 is the least significant bit.
std::uint8_t GetStatusByte1(const StatusControls& controls);
std::uint8_t GetStatusByte2(const StatusControls& controls);

// DLE, "R", status byte 1, status byte 2.
std::string StatusReplyBytes(std::uint8_t statusByte1, std::uint8_t statusByte2);

// Answers one status request: with "Enable Status Return" ticked, writes the
// four reply bytes to `output` in a single write; otherwise does nothing.
void SendStatusReply(const StatusControls& controls, ReplyOutput& output);

// The boxes at start-up: only "Cutter Home" (byte 2, bit 3) ticked, and
// "Enable Status Return" ticked.
inline constexpr std::uint8_t kStartUpStatusByte1 = 0;
inline constexpr std::uint8_t kStartUpStatusByte2 = 8;

// Status controls fixed at two byte values, with status return on or off.
class FixedStatusControls : public StatusControls {
public:
    FixedStatusControls(std::uint8_t byte1, std::uint8_t byte2, bool enabled = true)
        : byte1_(byte1)
        , byte2_(byte2)
        , enabled_(enabled)
    {
    }
    int enableStatusBackValue() const override { return enabled_ ? 1 : 0; }
    int statusBitsValue(int index) const override { return (byte1_ >> index) & 1; }
    int statusBits2Value(int index) const override { return (byte2_ >> index) & 1; }

private:
    std::uint8_t byte1_;
    std::uint8_t byte2_;
    bool enabled_;
};

} // namespace ostrel
