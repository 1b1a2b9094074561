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
    // An empty log (after Clear All) gains a fresh line before the next byte
    // is written, wherever the row stands; once it has a line it keeps one,
    // and only commands matter.
    if (!chunk.empty())
        logEmpty_ = false;
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
