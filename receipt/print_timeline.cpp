#include "receipt/print_timeline.h"

#include <algorithm>
#include <cmath>

namespace ostrel::receipt {

void PrintTimeline::needs(long long bytes, long long paperDots)
{
    if (bytes <= received_)
        return;
    received_ = bytes;
    paperDots = std::max(paperDots, needs_.empty() ? 0 : needs_.back().dots);
    if (!needs_.empty() && needs_.back().dots == paperDots)
        needs_.back().bytes = bytes;
    else
        needs_.push_back({ bytes, paperDots });
    settle();
}

void PrintTimeline::settle()
{
    while (!needs_.empty() && needs_.front().dots <= head_ + 1e-6) {
        printed_ = needs_.front().bytes;
        needs_.pop_front();
    }
}

void PrintTimeline::runTo(long long nowUs)
{
    // At no speed what is needed prints at once, however little time passed.
    if (nowUs > nowUs_ || (perUs_ <= 0 && nowUs == nowUs_)) {
        if (printing()) {
            double limit = static_cast<double>(needs_.back().dots);
            if (rollEnd_ >= 0)
                limit = std::min(limit, static_cast<double>(rollEnd_));
            const double reached
                = perUs_ <= 0 ? limit : head_ + static_cast<double>(nowUs - nowUs_) * perUs_;
            head_ = std::max(head_, std::min(limit, reached));
        }
        nowUs_ = nowUs;
    }
    settle();
}

void PrintTimeline::halt(bool halted, long long nowUs)
{
    runTo(nowUs);
    halted_ = halted;
}

void PrintTimeline::loadRoll(long long dots, long long nowUs)
{
    runTo(nowUs);
    rollEnd_ = dots < 0 ? -1 : static_cast<long long>(std::ceil(head_)) + dots;
}

long long PrintTimeline::rollLeft() const
{
    // Part of a dot left is still paper: none left is where it has run out.
    return rollEnd_ < 0
        ? -1
        : std::max(
            0LL, static_cast<long long>(std::ceil(static_cast<double>(rollEnd_) - head_ - 1e-6)));
}

bool PrintTimeline::ranOut() const
{
    return rollEnd_ >= 0 && !needs_.empty() && head_ + 1e-6 >= static_cast<double>(rollEnd_);
}

bool PrintTimeline::printing() const { return !halted_ && !needs_.empty() && !ranOut(); }

long long PrintTimeline::fedAt(long long dots) const
{
    if (static_cast<double>(dots) <= head_ + 1e-6)
        return nowUs_;
    if (halted_ || (rollEnd_ >= 0 && dots > rollEnd_))
        return -1;
    if (perUs_ <= 0)
        return nowUs_;
    return nowUs_ + static_cast<long long>(std::ceil((static_cast<double>(dots) - head_) / perUs_));
}

} // namespace ostrel::receipt
