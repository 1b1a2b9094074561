#pragma once

#include "printer/real_time_scan.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// The conversation between a program and the real printer its job was
// forwarded to: each chunk in each direction with its time and offset, the
// printer's bytes, and each status request the model knows with how long the
// printer took to answer it and what the answer says. Every list is bounded.
class ConversationRecord {
public:
    explicit ConversationRecord(receipt::Language language);

    void programSent(std::string_view chunk, long long atUs);
    void printerAnswered(std::string_view chunk, long long atUs);

    // A request the printer answered: where it ends in the program's
    // stream (one past its last byte), and the answer in words: "DLE EOT 4:
    // 72 after 6.2 ms, paper out".
    struct Answered {
        long long end = 0;
        std::string said;
    };
    // The requests answered since the last call.
    std::vector<Answered> takeAnswered();
    // The printer's bytes, the first kMostAnswerBytes of them.
    const std::string& answers() const { return answers_; }
    // A JSON object: the target, the failure if any, the byte counts, the
    // answered requests and the timeline.
    struct Delivery {
        long long delivered = 0; // known to be read by the printer
        long long sentNotConfirmed = 0; // handed over, with no sign it was read
        std::string notConfirmedWhy;
        long long notDelivered = 0; // never went out
    };
    std::string json(const std::string& target, const std::string& error, long long errorAtUs,
        const Delivery& delivery) const;

    static constexpr std::size_t kMostChunks = 10'000;
    static constexpr std::size_t kMostExchanges = 1'000;
    static constexpr std::size_t kMostAnswerBytes = 1 << 20;

private:
    struct Chunk {
        bool fromProgram;
        long long atUs, offset, size;
    };
    struct Exchange {
        RealTimeRequest request;
        std::string asked; // "DLE EOT 4"
        long long askedUs = 0;
        long long end = 0; // in the program's stream
        std::string answer; // its bytes
        long long answeredUs = -1;
    };

    RealTimeScan scan_;
    std::vector<Chunk> chunks_;
    long long chunkCount_ = 0;
    std::deque<Exchange> waiting_; // asked, not yet answered
    std::vector<Exchange> exchanges_;
    std::size_t told_ = 0; // exchanges takeAnswered has given
    std::string answers_;
    long long sent_ = 0, answered_ = 0;
};

// What a status answer says, in words: "paper near end, cover open"; "" when
// it says nothing is wrong or is not one the model reads.
std::string DescribeStatusAnswer(const RealTimeRequest& request, std::string_view answer);

} // namespace ostrel
