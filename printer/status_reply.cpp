#include "printer/status_reply.h"

#include "protocol/command_set.h"

namespace ostrel {

namespace {

    template <typename ReadBox> std::uint8_t BuildStatusByte(ReadBox readBox)
    {
        unsigned result = 0;
        unsigned mask = 1;
        for (int index = 0; index < 8; ++index) {
            if (readBox(index) == 1)
                result |= mask;
            mask <<= 1;
        }
        return static_cast<std::uint8_t>(result);
    }

} // namespace

std::uint8_t GetStatusByte1(const StatusControls& controls)
{
    return BuildStatusByte([&](int i) { return controls.statusBitsValue(i); });
}

std::uint8_t GetStatusByte2(const StatusControls& controls)
{
    return BuildStatusByte([&](int i) { return controls.statusBits2Value(i); });
}

std::string StatusReplyBytes(std::uint8_t statusByte1, std::uint8_t statusByte2)
{
    return { static_cast<char>(DLE), 'R', static_cast<char>(statusByte1),
        static_cast<char>(statusByte2) };
}

void SendStatusReply(const StatusControls& controls, ReplyOutput& output)
{
    if (controls.enableStatusBackValue() != 1)
        return;
    const std::uint8_t byte1 = GetStatusByte1(controls);
    const std::uint8_t byte2 = GetStatusByte2(controls);
    output.Output(StatusReplyBytes(byte1, byte2));
}

} // namespace ostrel
