#include "session/arrival_inbox.h"

#include "printer/status_reply.h"

namespace ostrel {

ArrivalInbox::Received ArrivalInbox::receive(ByteSource* from, std::string_view chunk)
{
    Received received;
    if (chunk.empty())
        return received;
    const std::lock_guard<std::mutex> hold(mutex_);
    if (arrivals_.empty() || arrivals_.back().clearAll || arrivals_.back().from != from)
        arrivals_.push_back({from, {}, 0, {}, false});
    Arrival& arrival = arrivals_.back();
    // The two kinds of request are answered in the order they came: the
    // status requests up to each real-time one, then that one.
    const bool realTime = statusEnabled_ && from != nullptr && from->realTimeReplies();
    std::size_t at = 0;
    for (const RealTimeRequest& request : realTime_.scan(chunk)) {
        answerStatusRequests(arrival, received, chunk.substr(at, request.end - at));
        at = request.end;
        if (!realTime)
            continue;
        std::string reply;
        if (request.kind == RealTimeRequest::Kind::AutomaticStatus && (request.n & 0x0F) != 0) {
            automatic_[from] = static_cast<std::uint8_t>(request.n & 0x0F);
            reply = AutomaticStatus(state_);
        } else if (request.kind == RealTimeRequest::Kind::AutomaticStatus ||
                   request.kind == RealTimeRequest::Kind::Initialize) {
            automatic_.erase(from);
        } else {
            reply = RealTimeReply(request, state_);
        }
        if (!reply.empty()) {
            received.replies += reply;
            arrival.replies.push_back(std::move(reply));
        }
    }
    answerStatusRequests(arrival, received, chunk.substr(at));
    arrival.bytes.append(chunk);
    waitingBytes_ += chunk.size();
    received.callSession = !sessionCalled_;
    sessionCalled_ = true;
    return received;
}

void ArrivalInbox::answerStatusRequests(Arrival& arrival, Received& received, std::string_view part)
{
    const int requests = scan_.countNext(part);
    if (requests > 0 && statusEnabled_) {
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
    arrivals_.push_back({nullptr, {}, 0, {}, true});
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

std::vector<std::pair<ByteSource*, std::string>> ArrivalInbox::publishPrinterState(const PrinterState& state)
{
    std::vector<std::pair<ByteSource*, std::string>> automatic;
    const std::lock_guard<std::mutex> hold(mutex_);
    const std::uint8_t changed = ChangedStatusGroups(state_, state);
    state_ = state;
    if (!statusEnabled_)
        return automatic;
    for (const auto& [source, groups] : automatic_)
        if ((groups & changed) != 0 && source->realTimeReplies())
            automatic.emplace_back(source, AutomaticStatus(state));
    return automatic;
}

void ArrivalInbox::forget(ByteSource* source)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    automatic_.erase(source);
}

} // namespace ostrel
