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
    const int requests = scan_.countNext(chunk);
    if (requests > 0 && statusEnabled_) {
        const std::string reply = StatusReplyBytes(byte1_, byte2_);
        for (int i = 0; i < requests; ++i) {
            received.replies += reply;
            arrival.replies.push_back(reply);
        }
    }
    arrival.requests += requests;
    arrival.bytes.append(chunk);
    waitingBytes_ += chunk.size();
    received.callSession = !sessionCalled_;
    sessionCalled_ = true;
    return received;
}

void ArrivalInbox::clearAll()
{
    const std::lock_guard<std::mutex> hold(mutex_);
    scan_.logCleared();
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

} // namespace ostrel
