#pragma once

#include "printer/real_time_scan.h"
#include "receipt/print_timeline.h"
#include "receipt/receipt_printer.h"
#include "receipt/symbol_geometry.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ostrel {

// A printer in time, for every job it takes in turn: what it received waits
// in its receive buffer until the paper before it has printed, at the
// model's speed, from a roll that can run out. The requests that wait on
// printing (GS r, Star's ETB) are answered when printing reaches them; a
// full buffer tells the port to stop reading. The clock is the caller's.
class PrintPace {
public:
    struct Settings {
        double mmPerSecond = 0; // 0: prints at once
        long long buffer = 4096; // bytes received and not yet printed, at most
        double rollMetres = 0; // 0: a roll that never ends
        double nearEndMetres = 0;
    };
    PrintPace(Settings settings, const receipt::PrinterProfile& model);
    ~PrintPace();

    // Bytes received. Each request among them that waits on printing is
    // handed to `answer` once printing reaches it, unless `owner` (the job)
    // is forgotten first.
    void take(std::string_view chunk, const void* owner,
        std::function<void(const RealTimeRequest&)> answer, long long nowUs);
    void forget(const void* owner);
    // Prints up to now: answers what printing reached and says what changed.
    void runTo(long long nowUs);
    // A printer that prints at once answers every request where it stands
    // among the bytes, after the paper before it: all of them come to take().
    bool answersEveryRequest() const { return settings_.mmPerSecond <= 0; }
    // When runTo is wanted next: -1 when nothing moves until more comes.
    long long nextUs() const;

    // The receive buffer is full: the port reads no further until roomAgain().
    bool full() const { return waiting() >= settings_.buffer; }
    bool roomAgain() const;
    // The printer stops (paper out or cover open, by hand) or goes on.
    void halt(bool halted, long long nowUs);
    // A full roll again; printing goes on where it stopped.
    void loadPaper(long long nowUs);

    // What the roll says now.
    bool nearEnd() const { return nearEnd_; }
    bool paperOut() const { return timeline_.ranOut(); }
    long long waiting() const { return fed_ - timeline_.printed(); }
    long long received() const { return fed_; }
    bool printing() const { return timeline_.printing(); }
    long long receiptsPrinted() const { return cutsPrinted_; }
    // What the jobs received so far ask for: receipts cut, paper in mm.
    long long receiptsReceived() const { return cutsSeen_; }
    double paperReceivedMillimetres() const
    {
        return static_cast<double>(model_.paperFed()) / dotsPerMm_;
    }
    long long printed() const { return timeline_.printed(); }
    double fedMillimetres() const;
    // -1 for a roll that never ends.
    double paperLeftMillimetres() const;
    const Settings& settings() const { return settings_; }

    // The roll reached its near end, ran out, or was loaded: "paper out: the
    // roll ran out after 0.500 m, 1234 bytes printed, 3456 waiting".
    std::function<void(const std::string&)> changed;

private:
    struct Waiting {
        long long end; // received bytes up to the request's last
        long long dots; // the paper fed before it
        const void* owner;
        RealTimeRequest request;
        std::shared_ptr<std::function<void(const RealTimeRequest&)>> answer;
    };
    void feed(std::string_view piece);
    void commandRead(const receipt::ModelCommand& command);
    void tellRoll();

    Settings settings_;
    double dotsPerMm_;
    receipt::EstimatedSymbolGeometry geometry_;
    receipt::ReceiptPrinter model_;
    RealTimeScan scan_;
    receipt::PrintTimeline timeline_;
    std::deque<Waiting> waiting_;
    std::deque<long long> cuts_; // where each cut not yet printed ends
    long long fed_ = 0; // bytes the model has read
    long long cutsSeen_ = 0, cutsPrinted_ = 0;
    long long nearEndDots_ = -1;
    bool nearEnd_ = false, toldOut_ = false;
};

} // namespace ostrel
