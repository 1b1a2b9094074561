#include "printer/status_request_scan.h"

#include "printer/status_reply.h"

namespace ostrel {

int StatusRequestScan::countNext(std::string_view chunk)
{
    using Event = CommandFramer::Event;
    int answered = 0;
    std::size_t at = 0;
    while (at < chunk.size()) {
        const auto b = static_cast<std::uint8_t>(chunk[at]);
        if (framer_.opensCommand(b)) {
            framer_.open(b);
            ++at;
            continue;
        }
        const std::size_t run = framer_.dataRun(chunk.substr(at));
        if (framer_.takeData(chunk.substr(at, run)) == Event::Head
            && IsAnsweredStatusRequest(framer_.first(), framer_.second(), false))
            ++answered;
        at += run;
    }
    return answered;
}

} // namespace ostrel
