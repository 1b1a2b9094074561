#include "printer/real_time_scan.h"

#include "protocol/command_set.h"

namespace ostrel {

std::vector<RealTimeRequest> RealTimeScan::scan(std::string_view chunk)
{
    std::vector<RealTimeRequest> found;
    found_ = &found;
    stream_.feed(chunk);
    found_ = nullptr;
    chunkStart_ += static_cast<long long>(chunk.size());
    return found;
}

void RealTimeScan::command(const unsigned char* bytes, long long length, long long offset)
{
    if (length != 3 && !(length == 2 && bytes[0] == ESC && bytes[1] == '@'))
        return;
    using Kind = RealTimeRequest::Kind;
    Kind kind;
    if (bytes[0] == DLE && bytes[1] == 0x04)
        kind = Kind::RealTimeStatus;
    else if (bytes[0] == GS && bytes[1] == 'r')
        kind = Kind::TransmitStatus;
    else if (bytes[0] == GS && bytes[1] == 'a')
        kind = Kind::AutomaticStatus;
    else if (bytes[0] == GS && bytes[1] == 'I')
        kind = Kind::PrinterId;
    else if (bytes[0] == ESC && bytes[1] == '@')
        kind = Kind::Initialize;
    else
        return;
    // A command begun in an earlier chunk ends in this one, at or after its
    // start: the end is never before the chunk.
    const long long end = offset + length - chunkStart_;
    found_->push_back({kind, length == 3 ? bytes[2] : 0, static_cast<std::size_t>(end < 0 ? 0 : end)});
}

std::string RealTimeReply(const RealTimeRequest& request, const PrinterState& state)
{
    using Kind = RealTimeRequest::Kind;
    switch (request.kind) {
    case Kind::RealTimeStatus:
        if (request.n < 1 || request.n > 4)
            return {};
        return std::string(1, static_cast<char>(RealTimeStatus(state, request.n)));
    case Kind::TransmitStatus:
        if (request.n != 1 && request.n != 2 && request.n != 49 && request.n != 50)
            return {};
        return std::string(1, static_cast<char>(TransmittedStatus(state, request.n)));
    case Kind::PrinterId:
        return PrinterIdReply(request.n, state);
    default:
        return {};
    }
}

} // namespace ostrel
