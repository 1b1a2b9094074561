#include "printer/status_request_scan.h"

#include "printer/status_reply.h"

namespace ostrel {

void StatusRequestScan::restart(const CaptureState& start, bool commandLogEmpty)
{
    framer_.restart(start);
    column_ = start.rowColumn;
    logEmpty_ = commandLogEmpty;
}

int StatusRequestScan::countNext(std::string_view chunk)
{
    using Event = CommandFramer::Event;
    int answered = 0;
    std::size_t at = 0;
    // An empty log gains its first line at a row start, when a command is
    // named or when a line is closed; a command named on an empty log is
    // neither written nor answered.
    for (int column = column_; logEmpty_ && at < chunk.size(); column = (column + 1) % 8) {
        if (column == 0)
            logEmpty_ = false;
        const Event event = framer_.take(static_cast<std::uint8_t>(chunk[at++]));
        if (event == Event::Head && IsAnsweredStatusRequest(framer_.first(), framer_.second(), logEmpty_))
            ++answered;
        if (event == Event::SingleCommand || framer_.countedOut())
            logEmpty_ = false;
    }
    // Once the log has a line it keeps one, and only commands matter.
    while (at < chunk.size()) {
        const auto b = static_cast<std::uint8_t>(chunk[at]);
        if (framer_.opensCommand(b)) {
            framer_.open(b);
            ++at;
            continue;
        }
        const std::size_t run = framer_.dataRun(chunk.substr(at));
        if (framer_.takeData(chunk.substr(at, run)) == Event::Head &&
            IsAnsweredStatusRequest(framer_.first(), framer_.second(), false))
            ++answered;
        at += run;
    }
    column_ = static_cast<int>((static_cast<std::size_t>(column_) + chunk.size()) % 8);
    return answered;
}

} // namespace ostrel
