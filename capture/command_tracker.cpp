#include "capture/command_tracker.h"

#include "capture/command_framing.h"
#include "printer/command_set.h"

namespace ostrel {

CommandTracker::CommandTracker(const CaptureState& state)
{
    state_.commandBytes = state.commandBytes;
    state_.commandByteIndex = state.commandByteIndex;
    state_.paramBytesPending = state.paramBytesPending;
}

CommandTracker::Event CommandTracker::take(std::uint8_t b)
{
    complete_ = false;
    countedOut_ = false;
    if (state_.paramBytesPending == 0 && IsCommandStart(b)) {
        state_.commandBytes[1] = b;
        state_.commandByteIndex = 2;
        if (IsSingleControlByte(b)) {
            state_.paramBytesPending = 0;
            complete_ = true;
            return Event::SingleCommand;
        }
        state_.paramBytesPending = 1;
        return Event::Prefix;
    }
    if (state_.commandByteIndex < CaptureState::kCommandBytesLast)
        state_.commandBytes[static_cast<std::size_t>(state_.commandByteIndex++)] = b;
    if (state_.paramBytesPending == 0 || --state_.paramBytesPending > 0)
        return Event::Data;
    countedOut_ = true;
    const bool head = state_.commandByteIndex == 3;
    SetParameterCount(state_);
    complete_ = state_.paramBytesPending == 0;
    return head ? Event::Head : Event::Data;
}

} // namespace ostrel
