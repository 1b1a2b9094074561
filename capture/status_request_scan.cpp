#include "capture/status_request_scan.h"

#include "printer/command_set.h"

namespace ostrel {

int StatusRequestScan::count(const CaptureState& start, bool commandLogEmpty,
                             std::string_view chunk)
{
    restart(start, commandLogEmpty);
    return countNext(chunk);
}

void StatusRequestScan::restart(const CaptureState& start, bool commandLogEmpty)
{
    tracker_.restart(start);
    column_ = start.rowColumn;
    logEmpty_ = commandLogEmpty;
}

int StatusRequestScan::countNext(std::string_view chunk)
{
    CommandTracker& tracker = tracker_;
    int column = column_;
    // The log gains its first line at a row start or when a line is closed,
    // and a described command on an empty log is neither named nor answered.
    bool logEmpty = logEmpty_;
    int answered = 0;
    for (std::size_t at = 0; at < chunk.size(); ++at) {
        // Once the log has a line it keeps one, and only commands matter.
        if (!logEmpty) {
            at += tracker.takePlainRun(chunk.substr(at));
            if (at == chunk.size())
                break;
        }
        if (column == 0)
            logEmpty = false;
        column = (column + 1) % 8;
        switch (tracker.take(static_cast<std::uint8_t>(chunk[at]))) {
        case CommandTracker::Event::Head:
            if (!logEmpty && tracker.first() == DLE && tracker.second() == 'R')
                ++answered;
            logEmpty = false;
            break;
        case CommandTracker::Event::SingleCommand:
            logEmpty = false;
            break;
        case CommandTracker::Event::Prefix:
            break;
        case CommandTracker::Event::Data:
            // A line closed when the last counted byte arrives.
            if (tracker.countedOut())
                logEmpty = false;
            break;
        }
    }
    column_ = column;
    logEmpty_ = logEmpty;
    return answered;
}

} // namespace ostrel
