#include "app/printing_replay.h"

#include "protocol/json_string.h"

#include <cstdio>

namespace ostrel {
namespace {

    constexpr std::size_t kListed = 1000;

    std::string Named(const RealTimeRequest& request)
    {
        return request.kind == RealTimeRequest::Kind::StarEtb ? "ETB"
                                                              : "GS r " + std::to_string(request.n);
    }

    std::string Decimal(double value)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", value);
        return text;
    }

} // namespace

PrintingReplay::PrintingReplay(PrintPace::Settings settings, const receipt::PrinterProfile& model,
    CaptureSession& session, ByteSource* peer)
    : pace_(settings, model)
    , session_(session)
    , peer_(peer)
{
    session_.setAnswersAfterPrinting(true, pace_.answersEveryRequest());
}

void PrintingReplay::step()
{
    const long long next = pace_.nextUs();
    if (next >= 0)
        nowUs_ = std::max(nowUs_, next);
    pace_.runTo(nowUs_);
    if (pace_.paperOut()) {
        if (rollEnds_.size() < kListed)
            rollEnds_.push_back({ pace_.printed(), pace_.fedMillimetres(), nowUs_ });
        pace_.loadPaper(nowUs_);
    }
}

void PrintingReplay::take(std::string_view chunk)
{
    // The buffer takes what it has room for; the rest waits on printing.
    while (!chunk.empty()) {
        const long long room = std::max(1LL, pace_.settings().buffer - pace_.waiting());
        const std::string_view part
            = chunk.substr(0, static_cast<std::size_t>(std::min<long long>(room, chunk.size())));
        pace_.take(
            part, this,
            [this](const RealTimeRequest& request) {
                if (peer_ != nullptr)
                    session_.answerPrinted(*peer_, request);
                if (answered_.size() < kListed)
                    answered_.push_back({ pace_.printed(), Named(request), nowUs_ });
            },
            nowUs_);
        chunk.remove_prefix(part.size());
        runUntilRoom();
    }
}

void PrintingReplay::runUntilRoom()
{
    while (pace_.full() && (pace_.nextUs() >= 0 || pace_.paperOut()))
        step();
}

void PrintingReplay::finish()
{
    while (pace_.waiting() > 0 && (pace_.nextUs() >= 0 || pace_.paperOut()))
        step();
}

std::string PrintingReplay::reportJson() const
{
    const PrintPace::Settings& s = pace_.settings();
    std::string json = "{\"speed_mm_s\":" + Decimal(s.mmPerSecond) + ",\"buffer\":"
        + std::to_string(s.buffer) + ",\"paper_mm\":" + Decimal(pace_.fedMillimetres())
        + ",\"seconds\":" + Decimal(static_cast<double>(nowUs_) / 1e6)
        + ",\"answered_after_printing\":[";
    for (std::size_t i = 0; i < answered_.size(); ++i)
        json += std::string(i ? "," : "") + "{\"request\":" + JsonString(answered_[i].request)
            + ",\"printed\":" + std::to_string(answered_[i].at)
            + ",\"at_ms\":" + Decimal(static_cast<double>(answered_[i].us) / 1e3) + "}";
    json += "],\"roll_ends\":[";
    for (std::size_t i = 0; i < rollEnds_.size(); ++i)
        json += std::string(i ? "," : "") + "{\"printed\":" + std::to_string(rollEnds_[i].printed)
            + ",\"paper_mm\":" + Decimal(rollEnds_[i].millimetres)
            + ",\"at_ms\":" + Decimal(static_cast<double>(rollEnds_[i].us) / 1e3) + "}";
    return json + "],\"waiting\":" + std::to_string(pace_.waiting()) + "}";
}

} // namespace ostrel
