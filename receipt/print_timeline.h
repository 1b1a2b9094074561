#pragma once

#include <deque>

namespace ostrel::receipt {

// A printer's paper in time: the bytes it received wait in its buffer until
// the paper they need has been printed, at its speed, from a roll that can
// run out. The clock is the caller's, in microseconds, so that the timeline
// can be run without waiting.
class PrintTimeline {
public:
    // dotsPerSecond 0: prints at once.
    explicit PrintTimeline(double dotsPerSecond)
        : perUs_(dotsPerSecond / 1e6)
    {
    }

    // The bytes received up to `bytes` (counted from the start) have printed
    // once `paperDots` of paper have been fed in all. Neither goes back.
    void needs(long long bytes, long long paperDots);
    // Prints up to `nowUs`.
    void runTo(long long nowUs);
    // Printing stops (paper out, cover open, offline) or goes on, from now.
    void halt(bool halted, long long nowUs);
    // A new roll of `dots`, or an endless one (-1), put in now.
    void loadRoll(long long dots, long long nowUs);

    long long received() const { return received_; }
    long long printed() const { return printed_; }
    long long waiting() const { return received_ - printed_; }
    long long fed() const { return static_cast<long long>(head_); }
    // Dots left on the roll; -1 for an endless one.
    long long rollLeft() const;
    // The roll ended with paper still to print.
    bool ranOut() const;
    // Paper to feed, and nothing stops it.
    bool printing() const;
    // When the paper will have fed `dots` in all, if nothing stops it; -1
    // if it never will (stopped, or past the roll's end).
    long long fedAt(long long dots) const;
    // `dots`, or where the roll ends if sooner: how far the head can get.
    long long reachable(long long dots) const
    {
        return rollEnd_ >= 0 && dots > rollEnd_ ? rollEnd_ : dots;
    }

private:
    struct Need {
        long long bytes, dots;
    };
    std::deque<Need> needs_;
    double perUs_;
    double head_ = 0; // dots fed
    long long nowUs_ = 0;
    long long received_ = 0, printed_ = 0;
    long long rollEnd_ = -1; // where the head stops for want of paper
    bool halted_ = false;
    void settle();
};

} // namespace ostrel::receipt
