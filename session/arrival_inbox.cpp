#include "session/arrival_inbox.h"

#include "printer/status_reply.h"

namespace ostrel {

ArrivalInbox::Received ArrivalInbox::receive(std::string_view chunk)
{
    Received received;
    if (chunk.empty())
        return received;
    const std::lock_guard<std::recursive_mutex> hold(mutex_);
    const int requests = scan_.countNext(chunk);
    if (requests > 0 && statusEnabled_) {
        const std::string reply = StatusReplyBytes(byte1_, byte2_);
        for (int i = 0; i < requests; ++i) {
            received.replies += reply;
            arrived_.replies.push_back(reply);
        }
    }
    arrived_.requests += requests;
    arrived_.bytes.append(chunk);
    received.callSession = !sessionCalled_;
    sessionCalled_ = true;
    return received;
}

ArrivalInbox::Arrived ArrivalInbox::take()
{
    const std::lock_guard<std::recursive_mutex> hold(mutex_);
    Arrived taken;
    std::swap(taken, arrived_);
    return taken;
}

bool ArrivalInbox::waiting() const
{
    const std::lock_guard<std::recursive_mutex> hold(mutex_);
    return !arrived_.bytes.empty();
}

std::size_t ArrivalInbox::waitingBytes() const
{
    const std::lock_guard<std::recursive_mutex> hold(mutex_);
    return arrived_.bytes.size();
}

bool ArrivalInbox::hangUp()
{
    const std::lock_guard<std::recursive_mutex> hold(mutex_);
    if (!arrived_.bytes.empty())
        return false;
    sessionCalled_ = false;
    return true;
}

void ArrivalInbox::publishStatus(bool enabled, std::uint8_t byte1, std::uint8_t byte2)
{
    const std::lock_guard<std::recursive_mutex> hold(mutex_);
    statusEnabled_ = enabled;
    byte1_ = byte1;
    byte2_ = byte2;
}

void ArrivalInbox::restart(const CaptureState& state, bool commandLogEmpty)
{
    const std::lock_guard<std::recursive_mutex> hold(mutex_);
    scan_.restart(state, commandLogEmpty);
}

} // namespace ostrel
