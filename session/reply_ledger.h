#pragma once

#include "session/byte_source.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// Which of a source's replies reached the peer. The replies are told in the
// order they were handed to the source, each with how the source says its
// replies have fared so far; those the source has not written yet wait here
// until it has, or until it has failed, or the job ends. Holds the hex of at
// most `listed` replies of each kind; every reply is counted.
class ReplyLedger {
public:
    explicit ReplyLedger(std::size_t listed)
        : listed_(listed)
    {
    }

    void told(std::string_view reply, const ByteSource::ReplyDelivery& now);
    // The job has ended: what the source has not written by now never will be.
    void settle(const ByteSource::ReplyDelivery& last);

    long long sent() const { return sent_; }
    long long notSent() const { return notSent_; }
    const std::vector<std::string>& sentListed() const { return sentListed_; }
    const std::vector<std::string>& notSentListed() const { return notSentListed_; }
    // Why the replies not sent were not: the source's reason.
    const std::string& failure() const { return failure_; }

private:
    void confirm(const ByteSource::ReplyDelivery& now, bool last);

    struct Waiting {
        long long end; // where the reply ends among every reply byte told
        std::string hex;
    };
    std::size_t listed_;
    std::deque<Waiting> waiting_;
    long long told_ = 0;
    long long sent_ = 0;
    long long notSent_ = 0;
    std::vector<std::string> sentListed_;
    std::vector<std::string> notSentListed_;
    std::string failure_;
};

} // namespace ostrel
