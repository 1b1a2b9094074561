#include "capture/command_tracker.h"

#include "capture/command_framing.h"
#include "printer/command_set.h"

#include <algorithm>

namespace ostrel {

CommandTracker::CommandTracker(const CaptureState& state) { restart(state); }

void CommandTracker::restart(const CaptureState& state)
{
    // Framing reads no command byte past the fourth (the count bytes of US "*").
    std::copy_n(state.commandBytes.begin(), 5, state_.commandBytes.begin());
    state_.commandByteIndex = state.commandByteIndex;
    state_.paramBytesPending = state.paramBytesPending;
    complete_ = false;
    countedOut_ = false;
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

std::size_t CommandTracker::takePlainRun(std::string_view bytes)
{
    std::size_t taken = 0;
    if (state_.paramBytesPending > 1) {
        // Every byte but the last counted one is plain data, whatever it is.
        taken = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(state_.paramBytesPending - 1));
        std::size_t i = 0;
        for (; i < taken && state_.commandByteIndex <= 4; ++i)
            state_.commandBytes[static_cast<std::size_t>(state_.commandByteIndex++)] =
                static_cast<std::uint8_t>(bytes[i]);
        // Past the first four, only the index moves, and it stops at its last element.
        state_.commandByteIndex = static_cast<std::int16_t>(std::min<std::size_t>(
            CaptureState::kCommandBytesLast, static_cast<std::size_t>(state_.commandByteIndex) + (taken - i)));
        state_.paramBytesPending -= static_cast<std::int32_t>(taken);
    } else if (state_.paramBytesPending == 0) {
        // Outside a command only a command start is an event; what the other
        // bytes leave in commandBytes is overwritten by the next command.
        taken = FindCommandStart(bytes);
    }
    if (taken > 0) {
        complete_ = false;
        countedOut_ = false;
    }
    return taken;
}

} // namespace ostrel
