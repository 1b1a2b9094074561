#include "printer/real_time_scan.h"

#include "protocol/command_set.h"
#include "receipt/command_bytes.h"
#include "receipt/command_table.h"

#include <optional>

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

    // The request a row's role names, in this language.
    std::optional<RealTimeRequest::Kind> RequestOf(receipt::Role role, bool star)
    {
        using Kind = RealTimeRequest::Kind;
        using receipt::Role;
        switch (role) {
        case Role::RealTimeStatus:
            return Kind::RealTimeStatus;
        case Role::TransmitStatus:
            return Kind::TransmitStatus;
        case Role::AutomaticStatus:
            return Kind::AutomaticStatus;
        case Role::PrinterId:
            return Kind::PrinterId;
        // Star's printers keep their automatic status over ESC @.
        case Role::Initializes:
            return star ? std::nullopt : std::optional(Kind::Initialize);
        case Role::StarEnq:
            return Kind::StarEnq;
        case Role::StarEot:
            return Kind::StarEot;
        case Role::StarStatusRequest:
            return Kind::StarStatusRequest;
        case Role::StarAutomaticSetting:
            return Kind::StarAutomaticSetting;
        case Role::StarEtb:
            return Kind::StarEtb;
        case Role::StarEtbReset:
            return Kind::StarEtbReset;
        default:
            return std::nullopt;
        }
    }

} // namespace

void RealTimeScan::command(
    const receipt::CommandRow& row, const unsigned char* bytes, long long length, long long offset)
{
    using Kind = RealTimeRequest::Kind;
    const std::optional<Kind> kind = RequestOf(row.role, star_);
    if (!kind)
        return;
    int n = 0;
    if (*kind == Kind::StarAutomaticSetting || (*kind == Kind::StarEtbReset && length == 4)) {
        n = receipt::bytes::Digit(bytes[3]); // ESC RS a n, ESC RS E n
    } else if (!star_ && *kind != Kind::Initialize) {
        // DLE EOT n, GS r n, GS a n, GS I n; the four-byte DLE EOT 7 a and
        // DLE EOT 8 a ask for statuses this printer does not give.
        if (length != 3)
            return;
        n = bytes[2];
    }
    // A command begun in an earlier chunk ends in this one, at or after its
    // start: the end is never before the chunk.
    const long long end = offset + length - chunkStart_;
    found_->push_back({ *kind, n, static_cast<std::size_t>(end < 0 ? 0 : end) });
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
