#include "receipt/command_stream.h"

#include "receipt/command_lengths.h"
#include "receipt/command_table.h"

#include <algorithm>

namespace ostrel::receipt {

CommandStream::Unfinished CommandStream::unfinished() const
{
    Unfinished unfinished;
    if (skipLeft_ > 0) {
        // A command too long to keep, passed over as it arrives.
        unfinished.any = true;
        unfinished.missing = skipLeft_;
        return unfinished;
    }
    if (pending_.empty())
        return unfinished;
    unfinished.any = true;
    unfinished.head = pending_.substr(0, 16);
    unfinished.offset = offset_;
    const CommandSize size = MeasureCommand(reinterpret_cast<const unsigned char*>(pending_.data()),
        pending_.size(), longestKept_, language_, mode_);
    if (size.length > static_cast<long long>(pending_.size()))
        unfinished.missing = size.length - static_cast<long long>(pending_.size());
    return unfinished;
}

void CommandStream::clear()
{
    pending_.clear();
    offset_ = 0;
    skipLeft_ = 0;
    mode_ = TableMode::Normal;
}

void CommandStream::skip(const unsigned char*& data, std::size_t& size)
{
    const auto skipped
        = static_cast<std::size_t>(std::min<long long>(skipLeft_, static_cast<long long>(size)));
    skipLeft_ -= static_cast<long long>(skipped);
    offset_ += static_cast<long long>(skipped);
    data += skipped;
    size -= skipped;
}

void CommandStream::feed(std::string_view bytes)
{
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t size = bytes.size();
    skip(data, size);
    // A command left unfinished by the last chunk takes what it still needs
    // from this one (enough for any parameter list where its length is not
    // known yet); the rest of the chunk is read where it is, never copied.
    while (!pending_.empty() && size > 0) {
        const CommandSize known
            = MeasureCommand(reinterpret_cast<const unsigned char*>(pending_.data()),
                pending_.size(), longestKept_, language_, mode_);
        long long wanted = std::max<long long>(
            kMaxTerminatedLength + 8, static_cast<long long>(pending_.size()));
        if (known.framing == Framing::NeedMore
            && known.length > static_cast<long long>(pending_.size()))
            wanted = known.length - static_cast<long long>(pending_.size());
        const auto take
            = static_cast<std::size_t>(std::min<long long>(wanted, static_cast<long long>(size)));
        pending_.append(reinterpret_cast<const char*>(data), take);
        data += take;
        size -= take;
        const std::size_t used
            = step(reinterpret_cast<const unsigned char*>(pending_.data()), pending_.size());
        if (used == 0)
            continue;
        offset_ += static_cast<long long>(used);
        const std::size_t leftover = pending_.size() - used;
        if (leftover > take) {
            // A head that waited for more bytes turned out shorter than what
            // waited with it (a mode no command has, seen only once its whole
            // head was there): the earlier bytes after it are read from here,
            // this chunk's from the chunk.
            pending_.erase(0, used);
            pending_.resize(pending_.size() - take);
            data -= take;
            size += take;
            continue;
        }
        // Bytes after the command came from this chunk: read them again there.
        data -= leftover;
        size += leftover;
        pending_.clear();
        skip(data, size);
    }
    if (!pending_.empty())
        return;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t used = step(data + at, size - at);
        if (used == 0)
            break;
        at += used;
        offset_ += static_cast<long long>(used);
    }
    if (skipLeft_ > 0)
        return; // the chunk ended inside a command too long to keep
    pending_.assign(reinterpret_cast<const char*>(data + at), size - at);
}

std::size_t CommandStream::step(const unsigned char* bytes, std::size_t available)
{
    const CommandTable& table = TableOf(language_, mode_);
    if (bytes[0] >= 0x20 && table.readsText()) {
        std::size_t count = 1;
        while (count < available && bytes[count] >= 0x20)
            ++count;
        reader_.text(bytes, count, offset_);
        return count;
    }
    // The row is found once, and handed to the reader with the command.
    const CommandTable::Found found = table.find(bytes, available);
    if (found.framing == Framing::NeedMore)
        return 0;
    const CommandSize size = found.row == nullptr
        ? length::Unknown(1)
        : found.row->length(bytes, available, longestKept_);
    if (size.length > longestKept_) {
        const auto shown = static_cast<std::size_t>(
            std::min<long long>({ size.length, 16, static_cast<long long>(available) }));
        reader_.tooLong(*found.row, bytes, shown, size.length, offset_);
        const std::size_t used
            = std::min<std::size_t>(available, static_cast<std::size_t>(size.length));
        skipLeft_ = size.length - static_cast<long long>(used);
        return used;
    }
    switch (size.framing) {
    case Framing::NeedMore:
        return 0;
    case Framing::Unknown:
        reader_.notUnderstood(bytes, size.length, offset_);
        break;
    case Framing::Whole:
        reader_.command(*found.row, bytes, size.length, offset_);
        if (found.row->then)
            mode_ = *found.row->then;
        break;
    }
    return static_cast<std::size_t>(size.length);
}

} // namespace ostrel::receipt
