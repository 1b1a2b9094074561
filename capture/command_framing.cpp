#include "capture/command_framing.h"

#include "capture/control_bytes.h"

namespace ostrel {

namespace {

struct ParameterRule {
    std::uint8_t first;
    char second;
    std::uint8_t count;
};

// Pairs not listed take no parameter bytes. This is the printer's framing, not
// its list of named commands: ESC "@" or GS "V", say, have names but no
// parameters here.
constexpr ParameterRule kParameterRules[] = {
    {ESC, '!', 1}, {ESC, '*', 3}, {ESC, '-', 1}, {ESC, '3', 1}, {ESC, 'C', 1},
    {ESC, 'J', 1}, {ESC, 'R', 1}, {ESC, 'a', 1}, {ESC, 'c', 2}, {ESC, 't', 1},
    {GS, '!', 1},  {GS, 'B', 1},  {GS, 'E', 1},  {GS, 'H', 1},  {GS, 'L', 2},
    {GS, 'W', 2},  {GS, 'f', 1},  {GS, 'h', 1},  {GS, 'k', 2},  {GS, 'w', 1},
    {US, '*', 2},  {US, 'C', 2},  {US, 'E', 1},  {US, 'F', 1},  {US, 'K', 1},
    {US, 'S', 1},  {US, 'x', 2},  {US, 'y', 2},
};

} // namespace

int ParameterCountFor(int firstByte, int secondByte)
{
    for (const ParameterRule& rule : kParameterRules) {
        if (rule.first == firstByte && rule.second == secondByte)
            return rule.count;
    }
    return 0;
}

void SetParameterCount(CaptureState& state)
{
    const auto& bytes = state.commandBytes;
    if (state.commandByteIndex == 3) {
        state.paramBytesPending = ParameterCountFor(bytes[1], bytes[2]);
    } else if (state.commandByteIndex == 5) {
        if (bytes[1] == US && bytes[2] == '*')
            state.paramBytesPending = bytes[3] * 256 + bytes[4];
    }
}

} // namespace ostrel
