#include "receipt/command_stream.h"

#include "receipt/command_lengths.h"

#include <algorithm>

namespace ostrel::receipt {

void CommandStream::clear() {
    pending_.clear();
    offset_ = 0;
    skipLeft_ = 0;
}

void CommandStream::feed(std::string_view bytes) {
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t size = bytes.size();
    if (skipLeft_ > 0) {
        const auto skipped = static_cast<std::size_t>(std::min<long long>(skipLeft_, static_cast<long long>(size)));
        skipLeft_ -= static_cast<long long>(skipped);
        offset_ += static_cast<long long>(skipped);
        data += skipped;
        size -= skipped;
    }
    const bool fromPending = !pending_.empty();
    if (fromPending) {
        pending_.append(reinterpret_cast<const char*>(data), size);
        data = reinterpret_cast<const unsigned char*>(pending_.data());
        size = pending_.size();
    }
    std::size_t at = 0;
    while (at < size) {
        const std::size_t used = step(data + at, size - at);
        if (used == 0) break;
        at += used;
        offset_ += static_cast<long long>(used);
    }
    // A command still arriving waits in pending_; when nothing of it was
    // taken, it stays where it is instead of being copied again.
    if (fromPending && at == 0) return;
    std::string rest(reinterpret_cast<const char*>(data + at), size - at);
    pending_ = std::move(rest);
}

std::size_t CommandStream::step(const unsigned char* bytes, std::size_t available) {
    if (bytes[0] >= 0x20) {
        std::size_t count = 1;
        while (count < available && bytes[count] >= 0x20) ++count;
        reader_.text(bytes, count, offset_);
        return count;
    }
    const CommandSize size = MeasureCommand(bytes, available);
    if (size.length > longestKept_) {
        const auto shown = static_cast<std::size_t>(std::min<long long>({size.length, 16, static_cast<long long>(available)}));
        reader_.tooLong(bytes, shown, size.length, offset_);
        const std::size_t used = std::min<std::size_t>(available, static_cast<std::size_t>(size.length));
        skipLeft_ = size.length - static_cast<long long>(used);
        return used;
    }
    switch (size.framing) {
    case Framing::NeedMore: return 0;
    case Framing::Unknown: reader_.notUnderstood(bytes, size.length, offset_); break;
    case Framing::Whole: reader_.command(bytes, size.length, offset_); break;
    }
    return static_cast<std::size_t>(size.length);
}

} // namespace ostrel::receipt
