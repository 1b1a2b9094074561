#include "capture/status_request_scan.h"

#include "capture/command_framing.h"
#include "printer/command_set.h"

namespace ostrel {

int CountAnsweredStatusRequests(const CaptureState& start, bool commandLogEmpty,
                                std::string_view chunk)
{
    // Only the framing part of the state is used; the raw capture is not.
    CaptureState state;
    state.commandBytes = start.commandBytes;
    state.commandByteIndex = start.commandByteIndex;
    state.paramBytesPending = start.paramBytesPending;
    int column = start.rowColumn;
    // The log gains its first line at a row start or when a line is closed,
    // and a described command on an empty log is neither named nor answered.
    bool logEmpty = commandLogEmpty;
    int answered = 0;
    for (const char c : chunk) {
        const auto b = static_cast<std::uint8_t>(c);
        if (column == 0)
            logEmpty = false;
        column = (column + 1) % 8;
        if (state.paramBytesPending == 0 && IsCommandStart(b)) {
            state.commandBytes[1] = b;
            state.commandByteIndex = 2;
            if (IsSingleControlByte(b)) {
                logEmpty = false;
                state.paramBytesPending = 0;
            } else {
                state.paramBytesPending = 1;
            }
            continue;
        }
        if (state.commandByteIndex < CaptureState::kCommandBytesLast)
            state.commandBytes[static_cast<std::size_t>(state.commandByteIndex++)] = b;
        if (state.paramBytesPending > 0 && --state.paramBytesPending == 0) {
            if (state.commandByteIndex == 3 && !logEmpty && state.commandBytes[1] == DLE &&
                state.commandBytes[2] == 'R')
                ++answered;
            logEmpty = false;
            SetParameterCount(state);
        }
    }
    return answered;
}

} // namespace ostrel
