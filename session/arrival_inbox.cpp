#include "session/arrival_inbox.h"

#include "printer/star_status.h"
#include "printer/status_reply.h"

namespace ostrel {

ArrivalInbox::Received ArrivalInbox::receive(ByteSource* from, std::string_view chunk)
{
    Received received;
    if (chunk.empty())
        return received;
    const std::lock_guard<std::mutex> hold(mutex_);
    if (arrivals_.empty() || arrivals_.back().clearAll || arrivals_.back().from != from)
        arrivals_.push_back({ from, {}, 0, {}, false });
    Arrival& arrival = arrivals_.back();
    adoptLocked(from);
    // The two kinds of request are answered in the order they came: the
    // status requests up to each real-time one, then that one.
    const bool standIn = from == nullptr || from->standInAnswers();
    const bool realTime = statusEnabled_ && standIn && from != nullptr && from->realTimeReplies();
    std::size_t at = 0;
    for (const RealTimeRequest& request : realTime_.scan(chunk)) {
        answerStatusRequests(arrival, received, chunk.substr(at, request.end - at), standIn);
        at = request.end;
        if (!realTime
            || (afterPrinting_ && (everyRequestAfterPrinting_ || WaitsOnPrinting(request))))
            continue;
        std::string reply = answer(from, request);
        if (!reply.empty()) {
            received.replies += reply;
            arrival.replies.push_back(std::move(reply));
        }
    }
    answerStatusRequests(arrival, received, chunk.substr(at), standIn);
    arrival.bytes.append(chunk);
    waitingBytes_ += chunk.size();
    received.callSession = !sessionCalled_;
    sessionCalled_ = true;
    return received;
}

bool ArrivalInbox::WaitsOnPrinting(const RealTimeRequest& request)
{
    return request.kind == RealTimeRequest::Kind::TransmitStatus
        || request.kind == RealTimeRequest::Kind::StarEtb;
}

ArrivalInbox::Kept ArrivalInbox::kept() const
{
    const std::lock_guard<std::mutex> hold(mutex_);
    // A job has one peer: what it left on is what the printer keeps.
    return { etbCounter_, etbExecuted_,
        automatic_.empty() ? std::uint8_t { 0 } : automatic_.begin()->second };
}

void ArrivalInbox::setKept(Kept kept, ByteSource* peer)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    etbCounter_ = kept.counter & 31;
    etbExecuted_ = kept.executed;
    automatic_.clear();
    if (kept.automatic != 0 && peer != nullptr)
        automatic_[peer] = kept.automatic;
}

void ArrivalInbox::setAnswersAfterPrinting(bool after, bool everyRequest)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    afterPrinting_ = after;
    everyRequestAfterPrinting_ = after && everyRequest;
}

std::string ArrivalInbox::answerPrinted(ByteSource* from, const RealTimeRequest& request)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    const bool standIn = from == nullptr || from->standInAnswers();
    if (!statusEnabled_ || !standIn || from == nullptr || !from->realTimeReplies())
        return {};
    return answer(from, request);
}

std::string ArrivalInbox::answer(ByteSource* from, const RealTimeRequest& request)
{
    using Kind = RealTimeRequest::Kind;
    switch (request.kind) {
    case Kind::AutomaticStatus:
        setAutomatic(from, static_cast<std::uint8_t>(request.n & 0x0F));
        return (request.n & 0x0F) == 0 ? std::string() : AutomaticStatus(state_);
    case Kind::Initialize:
        setAutomatic(from, 0);
        return {};
    case Kind::StarEnq:
        return starStatusByte(from, "01", StarEnqStatus(state_));
    case Kind::StarEot:
        return starStatusByte(from, "02", StarEotStatus(state_));
    case Kind::StarStatusRequest:
        return automaticStatus(state_, from);
    case Kind::StarAutomaticSetting:
        setAutomatic(from, request.n == 0 ? 0 : 0x0F);
        return request.n == 0 ? std::string() : automaticStatus(state_, from);
    case Kind::StarEtb:
        etbCounter_ = (etbCounter_ + 1) & 31;
        etbExecuted_ = true;
        // A peer with automatic status on hears of it at once.
        return automatic_.count(from) != 0 ? automaticStatus(state_, from) : std::string();
    case Kind::StarEtbReset:
        etbCounter_ = 0;
        etbExecuted_ = false;
        return {};
    default:
        return RealTimeReply(request, state_);
    }
}

// The automatic status in the printer's language; Star's tells an ETB once.
std::string ArrivalInbox::automaticStatus(const PrinterState& state, const ByteSource* to)
{
    if (!star_)
        return AutomaticStatus(state);
    std::string status = StarAutomaticStatus(state, etbCounter_, etbExecuted_);
    etbExecuted_ = false;
    return to != nullptr && to->network() ? StarNetworkStatus(std::move(status)) : status;
}

// ENQ's or EOT's byte; a network peer gets it inside the automatic status,
// so that what comes first is always the automatic status, as a Star
// printer's Ethernet interface sends it.
std::string ArrivalInbox::starStatusByte(
    const ByteSource* to, std::string_view type, std::uint8_t status)
{
    if (to == nullptr || !to->network())
        return std::string(1, static_cast<char>(status));
    return StarNetworkStatus(automaticStatus(state_, nullptr), StarNetworkStatusData(type, status));
}

void ArrivalInbox::setLanguage(receipt::Language language)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    star_ = language == receipt::Language::StarLine || language == receipt::Language::StarPrnt;
    realTime_.setLanguage(language);
    automatic_.clear();
    networkAutomatic_ = 0;
}

void ArrivalInbox::answerStatusRequests(
    Arrival& arrival, Received& received, std::string_view part, bool standIn)
{
    const int requests = scan_.countNext(part);
    if (requests > 0 && statusEnabled_ && standIn) {
        const std::string reply = StatusReplyBytes(byte1_, byte2_);
        for (int i = 0; i < requests; ++i) {
            received.replies += reply;
            arrival.replies.push_back(reply);
        }
    }
    arrival.requests += requests;
}

void ArrivalInbox::clearAll()
{
    const std::lock_guard<std::mutex> hold(mutex_);
    arrivals_.push_back({ nullptr, {}, 0, {}, true });
}

std::vector<ArrivalInbox::Arrival> ArrivalInbox::take()
{
    std::vector<Arrival> taken;
    const std::lock_guard<std::mutex> hold(mutex_);
    std::swap(taken, arrivals_);
    waitingBytes_ = 0;
    return taken;
}

bool ArrivalInbox::waiting() const
{
    const std::lock_guard<std::mutex> hold(mutex_);
    return !arrivals_.empty();
}

std::size_t ArrivalInbox::waitingBytes() const
{
    const std::lock_guard<std::mutex> hold(mutex_);
    return waitingBytes_;
}

bool ArrivalInbox::hangUp()
{
    const std::lock_guard<std::mutex> hold(mutex_);
    if (!arrivals_.empty())
        return false;
    sessionCalled_ = false;
    return true;
}

void ArrivalInbox::publishStatus(bool enabled, std::uint8_t byte1, std::uint8_t byte2)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    statusEnabled_ = enabled;
    byte1_ = byte1;
    byte2_ = byte2;
}

std::vector<std::pair<ByteSource*, std::string>> ArrivalInbox::publishPrinterState(
    const PrinterState& state)
{
    std::vector<std::pair<ByteSource*, std::string>> automatic;
    const std::lock_guard<std::mutex> hold(mutex_);
    const std::uint8_t changed = star_
        ? (StarAutomaticStatus(state_, 0, false) != StarAutomaticStatus(state, 0, false) ? 0x0F : 0)
        : ChangedStatusGroups(state_, state);
    state_ = state;
    if (!statusEnabled_)
        return automatic;
    for (const auto& [source, groups] : automatic_)
        if ((groups & changed) != 0 && source->realTimeReplies() && source->standInAnswers())
            automatic.emplace_back(source, automaticStatus(state, source));
    return automatic;
}

void ArrivalInbox::forget(ByteSource* source)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    automatic_.erase(source);
    adopted_.erase(source);
}

void ArrivalInbox::adopt(ByteSource* source)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    adoptLocked(source);
}

// Once a peer, from its first bytes or its start, whichever comes first: a
// port on a thread of its own hands bytes over before the start is told.
void ArrivalInbox::adoptLocked(ByteSource* source)
{
    if (source == nullptr || !source->network() || !adopted_.insert(source).second)
        return;
    if (networkAutomatic_ != 0)
        automatic_.emplace(source, networkAutomatic_);
}

// What a network peer turns automatic status to, the next one finds.
void ArrivalInbox::setAutomatic(ByteSource* from, std::uint8_t groups)
{
    if (groups != 0)
        automatic_[from] = groups;
    else
        automatic_.erase(from);
    if (from != nullptr && from->network())
        networkAutomatic_ = groups;
}

} // namespace ostrel
