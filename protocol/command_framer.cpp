#include "protocol/command_framer.h"

#include "protocol/command_set.h"

#include <algorithm>

namespace ostrel {

void SetParameterCount(FramingState& state)
{
    const auto& bytes = state.commandBytes;
    if (state.commandByteIndex == 3) {
        state.paramBytesPending = ParameterCountFor(bytes[1], bytes[2]);
    } else if (state.commandByteIndex == 5) {
        if (AnnouncesBitImageData(bytes[1], bytes[2]))
            state.paramBytesPending = bytes[3] * 256 + bytes[4];
    }
}

void CommandFramer::restart(const FramingState& from)
{
    std::copy_n(from.commandBytes.begin(), 5, state_->commandBytes.begin());
    state_->commandByteIndex = from.commandByteIndex;
    state_->paramBytesPending = from.paramBytesPending;
    complete_ = false;
    countedOut_ = false;
}

bool CommandFramer::opensCommand(std::uint8_t b) const
{
    return state_->paramBytesPending == 0 && IsCommandStart(b);
}

CommandFramer::Event CommandFramer::take(std::uint8_t b)
{
    if (opensCommand(b))
        return open(b);
    const char byte = static_cast<char>(b);
    return takeData({ &byte, 1 });
}

CommandFramer::Event CommandFramer::open(std::uint8_t b)
{
    state_->commandBytes[1] = b;
    state_->commandByteIndex = 2;
    countedOut_ = false;
    if (IsSingleControlByte(b)) {
        state_->paramBytesPending = 0;
        complete_ = true;
        return Event::SingleCommand;
    }
    state_->paramBytesPending = 1;
    complete_ = false;
    return Event::Prefix;
}

std::size_t CommandFramer::dataRun(std::string_view bytes) const
{
    if (state_->paramBytesPending > 0)
        return std::min<std::size_t>(
            bytes.size(), static_cast<std::size_t>(state_->paramBytesPending));
    return FindCommandStart(bytes);
}

CommandFramer::Event CommandFramer::takeData(std::string_view run)
{
    complete_ = false;
    countedOut_ = false;
    FramingState& s = *state_;
    // Stored while the index is below its last element; a local index, since
    // the compiler cannot tell the stores from the index itself.
    const auto index = static_cast<std::size_t>(s.commandByteIndex);
    const std::size_t stored = index < FramingState::kCommandBytesLast
        ? std::min(run.size(), FramingState::kCommandBytesLast - index)
        : 0;
    for (std::size_t i = 0; i < stored; ++i)
        s.commandBytes[index + i] = static_cast<std::uint8_t>(run[i]);
    s.commandByteIndex = static_cast<std::int16_t>(index + stored);

    if (s.paramBytesPending == 0)
        return Event::Data;
    s.paramBytesPending -= static_cast<std::int32_t>(run.size());
    if (s.paramBytesPending > 0)
        return Event::Data;
    countedOut_ = true;
    const bool head = s.commandByteIndex == 3;
    SetParameterCount(s);
    complete_ = s.paramBytesPending == 0;
    return head ? Event::Head : Event::Data;
}

} // namespace ostrel
