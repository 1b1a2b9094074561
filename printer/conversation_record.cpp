#include "printer/conversation_record.h"

#include "protocol/hex_byte.h"
#include "protocol/json_string.h"

#include <cstdio>

namespace ostrel {
namespace {

    using Kind = RealTimeRequest::Kind;

    std::string Asked(const RealTimeRequest& request)
    {
        const std::string n = " " + std::to_string(request.n);
        switch (request.kind) {
        case Kind::RealTimeStatus:
            return "DLE EOT" + n;
        case Kind::TransmitStatus:
            return "GS r" + n;
        case Kind::AutomaticStatus:
            return "GS a" + n;
        case Kind::PrinterId:
            return "GS I" + n;
        case Kind::StarEnq:
            return "ENQ";
        case Kind::StarEot:
            return "EOT";
        case Kind::StarStatusRequest:
            return "ESC ACK SOH";
        case Kind::StarAutomaticSetting:
            return "ESC RS a" + n;
        case Kind::StarEtb:
            return "ETB";
        default:
            return {};
        }
    }

    // How many bytes answer the request: one status byte, ESC/POS's four of
    // automatic status, Star's automatic status its header's count; 0 for the
    // rest of what comes.
    std::size_t AnswerLength(const RealTimeRequest& request, std::string_view answer)
    {
        switch (request.kind) {
        case Kind::RealTimeStatus:
        case Kind::TransmitStatus:
        case Kind::StarEnq:
        case Kind::StarEot:
            return 1;
        case Kind::AutomaticStatus:
            return 4;
        case Kind::StarStatusRequest:
        case Kind::StarAutomaticSetting:
        case Kind::StarEtb: {
            if (answer.empty())
                return 9;
            const auto h = static_cast<unsigned char>(answer[0]);
            return static_cast<std::size_t>(
                ((h >> 5) & 1) * 8 + ((h >> 3) & 1) * 4 + ((h >> 2) & 1) * 2 + ((h >> 1) & 1));
        }
        default:
            return 0;
        }
    }

    void Say(std::string& words, bool on, const char* what)
    {
        if (on)
            words += (words.empty() ? "" : ", ") + std::string(what);
    }

} // namespace

std::string DescribeStatusAnswer(const RealTimeRequest& request, std::string_view answer)
{
    if (answer.empty())
        return {};
    const auto b = static_cast<unsigned char>(answer[0]);
    const auto bit = [&](int n) { return (b >> n) & 1; };
    std::string words;
    switch (request.kind) {
    case Kind::RealTimeStatus:
        if (request.n == 1) {
            Say(words, bit(2), "drawer pin 3 high");
            Say(words, bit(3), "offline");
        }
        if (request.n == 2) {
            Say(words, bit(2), "cover open");
            Say(words, bit(3), "paper fed by the button");
            Say(words, bit(5), "stopped: paper out");
            Say(words, bit(6), "error");
        }
        if (request.n == 3) {
            Say(words, bit(2), "recoverable error");
            Say(words, bit(3), "autocutter error");
            Say(words, bit(5), "unrecoverable error");
            Say(words, bit(6), "automatically recoverable error");
        }
        if (request.n == 4) {
            Say(words, bit(2) || bit(3), "paper near end");
            Say(words, bit(5) || bit(6), "paper out");
        }
        break;
    case Kind::TransmitStatus:
        if (request.n == 1 || request.n == 49) {
            Say(words, bit(0) || bit(1), "paper near end");
            Say(words, bit(2) || bit(3), "paper out");
        }
        if (request.n == 2 || request.n == 50)
            Say(words, bit(0), "drawer pin 3 high");
        break;
    case Kind::AutomaticStatus:
        if (answer.size() >= 3) {
            const auto e = static_cast<unsigned char>(answer[1]),
                       p = static_cast<unsigned char>(answer[2]);
            Say(words, bit(3), "offline");
            Say(words, bit(5), "cover open");
            Say(words, (e & 0x2C) != 0, "error");
            Say(words, (p & 0x03) != 0, "paper near end");
            Say(words, (p & 0x0C) != 0, "paper out");
        }
        break;
    case Kind::StarEnq:
        Say(words, bit(3), "paper out");
        Say(words, bit(2), "error or cover open");
        break;
    case Kind::StarEot:
        Say(words, bit(3), "paper out");
        Say(words, bit(2), "paper near end");
        break;
    case Kind::StarStatusRequest:
    case Kind::StarAutomaticSetting:
    case Kind::StarEtb:
        if (answer.size() >= 6) {
            const auto s1 = static_cast<unsigned char>(answer[2]),
                       s4 = static_cast<unsigned char>(answer[5]);
            Say(words, (s1 >> 3) & 1, "offline");
            Say(words, (s1 >> 5) & 1, "cover open");
            Say(words, (s4 >> 2) & 1, "paper near end");
            Say(words, (s4 >> 3) & 1, "paper out");
        }
        break;
    default:
        break;
    }
    return words;
}

ConversationRecord::ConversationRecord(receipt::Language language) { scan_.setLanguage(language); }

void ConversationRecord::programSent(std::string_view chunk, long long atUs)
{
    if (chunks_.size() < kMostChunks)
        chunks_.push_back({ true, atUs, sent_, static_cast<long long>(chunk.size()) });
    ++chunkCount_;
    const long long chunkStart = sent_;
    sent_ += static_cast<long long>(chunk.size());
    for (const RealTimeRequest& request : scan_.scan(chunk)) {
        if (Asked(request).empty()
            || (request.kind == Kind::AutomaticStatus && (request.n & 0x0F) == 0))
            continue;
        if (waiting_.size() + exchanges_.size() >= kMostExchanges)
            break;
        waiting_.push_back({ request, Asked(request), atUs,
            chunkStart + static_cast<long long>(request.end), {}, -1 });
    }
}

void ConversationRecord::printerAnswered(std::string_view chunk, long long atUs)
{
    if (chunks_.size() < kMostChunks)
        chunks_.push_back({ false, atUs, answered_, static_cast<long long>(chunk.size()) });
    ++chunkCount_;
    answered_ += static_cast<long long>(chunk.size());
    answers_.append(chunk.substr(
        0, std::min(chunk.size(), kMostAnswerBytes - std::min(kMostAnswerBytes, answers_.size()))));
    // The answers come in the order the requests went.
    while (!chunk.empty() && !waiting_.empty()) {
        Exchange& next = waiting_.front();
        if (next.answeredUs < 0)
            next.answeredUs = atUs;
        const std::size_t wanted = AnswerLength(
            next.request, next.answer.empty() ? chunk : std::string_view(next.answer));
        const std::size_t take = wanted == 0
            ? chunk.size()
            : std::min(chunk.size(), wanted - std::min(wanted, next.answer.size()));
        next.answer.append(chunk.substr(0, std::min<std::size_t>(take, 64)));
        chunk.remove_prefix(take);
        if (wanted == 0 || next.answer.size() >= wanted) {
            exchanges_.push_back(std::move(next));
            waiting_.pop_front();
        }
    }
}

std::vector<ConversationRecord::Answered> ConversationRecord::takeAnswered()
{
    std::vector<Answered> said;
    for (; told_ < exchanges_.size(); ++told_) {
        const Exchange& e = exchanges_[told_];
        char delay[32];
        std::snprintf(
            delay, sizeof delay, "%.1f ms", static_cast<double>(e.answeredUs - e.askedUs) / 1000.0);
        const std::string means = DescribeStatusAnswer(e.request, e.answer);
        said.push_back({ e.end,
            e.asked + ": " + HexBytes(e.answer) + " after " + delay + ", "
                + (means.empty() ? std::string("nothing wrong") : means) });
    }
    return said;
}

std::string ConversationRecord::json(const std::string& target, const std::string& error,
    long long errorAtUs, const Delivery& delivery) const
{
    std::string json = "{\"target\":" + JsonString(target);
    if (!error.empty())
        json += ",\"error\":" + JsonString(error) + ",\"error_at_us\":" + std::to_string(errorAtUs);
    json += ",\"delivered\":" + std::to_string(delivery.delivered)
        + ",\"sent_not_confirmed\":" + std::to_string(delivery.sentNotConfirmed);
    if (delivery.sentNotConfirmed > 0)
        json += ",\"not_confirmed_why\":" + JsonString(delivery.notConfirmedWhy);
    json += ",\"not_delivered\":" + std::to_string(delivery.notDelivered)
        + ",\"answered_bytes\":" + std::to_string(answered_) + ",\"exchanges\":[";
    bool first = true;
    const auto exchange = [&](const Exchange& e) {
        json += std::string(first ? "" : ",") + "{\"request\":" + JsonString(e.asked)
            + ",\"at_us\":" + std::to_string(e.askedUs);
        if (e.answeredUs >= 0)
            json += ",\"answer\":" + JsonString(HexBytes(e.answer))
                + ",\"after_us\":" + std::to_string(e.answeredUs - e.askedUs)
                + ",\"means\":" + JsonString(DescribeStatusAnswer(e.request, e.answer));
        else
            json += ",\"answer\":null";
        json += "}";
        first = false;
    };
    for (const Exchange& e : exchanges_)
        exchange(e);
    for (const Exchange& e : waiting_)
        exchange(e);
    json += "],\"chunks\":" + std::to_string(chunkCount_) + ",\"timeline\":[";
    for (std::size_t i = 0; i < chunks_.size(); ++i)
        json += std::string(i ? "," : "") + "[\"" + (chunks_[i].fromProgram ? ">" : "<") + "\","
            + std::to_string(chunks_[i].atUs) + "," + std::to_string(chunks_[i].offset) + ","
            + std::to_string(chunks_[i].size) + "]";
    return json + "]}";
}

} // namespace ostrel
