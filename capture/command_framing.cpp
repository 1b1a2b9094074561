#include "capture/command_framing.h"

#include "printer/command_set.h"

namespace ostrel {

void SetParameterCount(CaptureState& state)
{
    const auto& bytes = state.commandBytes;
    if (state.commandByteIndex == 3) {
        state.paramBytesPending = ParameterCountFor(bytes[1], bytes[2]);
    } else if (state.commandByteIndex == 5) {
        if (AnnouncesBitImageData(bytes[1], bytes[2]))
            state.paramBytesPending = bytes[3] * 256 + bytes[4];
    }
}

} // namespace ostrel
