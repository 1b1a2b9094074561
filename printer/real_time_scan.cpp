#include "printer/real_time_scan.h"

#include "protocol/command_set.h"
#include "receipt/command_bytes.h"

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

void RealTimeScan::setLanguage(receipt::Language language)
{
    star_ = language == receipt::Language::StarLine || language == receipt::Language::StarPrnt;
    stream_.setLanguage(language);
}

namespace {

constexpr unsigned char kEnq = 0x05, kEot = 0x04, kEtb = 0x17, kCan = 0x18, kAck = 0x06, kSoh = 0x01, kRs = 0x1E;

// Star's requests, by the bytes the Star tables frame.
bool StarRequest(const unsigned char* bytes, long long length, RealTimeRequest::Kind& kind, int& n)
{
    using Kind = RealTimeRequest::Kind;
    if (length == 1) {
        switch (bytes[0]) {
        case kEnq: kind = Kind::StarEnq; return true;
        case kEot: kind = Kind::StarEot; return true;
        case kEtb: kind = Kind::StarEtb; return true;
        case kCan: kind = Kind::StarEtbReset; return true;
        default: return false;
        }
    }
    if (length == 3 && bytes[0] == ESC && bytes[1] == kAck && bytes[2] == kSoh) {
        kind = Kind::StarStatusRequest;
        return true;
    }
    if (length == 4 && bytes[0] == ESC && bytes[1] == kRs && (bytes[2] == 'a' || bytes[2] == 'E')) {
        kind = bytes[2] == 'a' ? Kind::StarAutomaticSetting : Kind::StarEtbReset;
        n = receipt::bytes::Digit(bytes[3]);
        return true;
    }
    return false;
}

} // namespace

void RealTimeScan::command(const unsigned char* bytes, long long length, long long offset)
{
    using Kind = RealTimeRequest::Kind;
    Kind kind;
    int n = 0;
    if (star_) {
        if (!StarRequest(bytes, length, kind, n))
            return;
        const long long end = offset + length - chunkStart_;
        found_->push_back({kind, n, static_cast<std::size_t>(end < 0 ? 0 : end)});
        return;
    }
    if (length != 3 && !(length == 2 && bytes[0] == ESC && bytes[1] == '@'))
        return;
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
