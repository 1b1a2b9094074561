#include "session/reply_ledger.h"

#include "protocol/hex_byte.h"

namespace ostrel {

void ReplyLedger::told(std::string_view reply, const ByteSource::ReplyDelivery& now)
{
    told_ += static_cast<long long>(reply.size());
    // Only a reply that may still be listed keeps its bytes while it waits.
    const bool mayBeListed = sentListed_.size() < listed_ || notSentListed_.size() < listed_;
    waiting_.push_back({ told_, mayBeListed ? HexBytes(reply) : std::string() });
    confirm(now, false);
}

void ReplyLedger::settle(const ByteSource::ReplyDelivery& last) { confirm(last, true); }

void ReplyLedger::confirm(const ByteSource::ReplyDelivery& now, bool last)
{
    while (!waiting_.empty() && waiting_.front().end <= now.written) {
        if (sentListed_.size() < listed_)
            sentListed_.push_back(std::move(waiting_.front().hex));
        ++sent_;
        waiting_.pop_front();
    }
    // Once writing has failed, or at the end, the rest never goes out; a
    // reply written only in part counts as not sent.
    if (now.failure.empty() && !last)
        return;
    if (!waiting_.empty() && failure_.empty())
        failure_ = now.failure.empty() ? "not written by the end of the job" : now.failure;
    for (Waiting& waiting : waiting_) {
        if (notSentListed_.size() < listed_)
            notSentListed_.push_back(std::move(waiting.hex));
        ++notSent_;
    }
    waiting_.clear();
}

} // namespace ostrel
