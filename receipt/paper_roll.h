#pragma once

#include "receipt/paper.h"

#include <cstddef>
#include <deque>

namespace ostrel::receipt {

// The receipts printed so far, newest last, and the memory they hold. Every
// item and command goes in through here, so the weight is counted once, and
// old receipts are dropped when the roll holds too many or too much.
class PaperRoll {
public:
    struct Limits {
        std::size_t keptReceipts = 64;
        long long keptBytes = 64LL << 20;
        long long receiptBytes = 24LL << 20;
        int receiptHeight = 400'000;
        long long keptRows = 1LL << 20; // of all kept receipts together: about 130 m of paper
    };

    explicit PaperRoll(Limits limits)
        : limits_(limits)
    {
        clear();
    }

    void clear();
    const std::deque<Receipt>& receipts() const { return receipts_; }
    Receipt& current() { return receipts_.back(); }
    const Receipt& current() const { return receipts_.back(); }
    long long dropped() const { return dropped_; }
    // The paper fed since the roll was cleared, dropped receipts included,
    // in dots: what a printer's clock counts.
    long long fedRows() const;

    void add(PaperItem item);
    int add(ModelCommand command);
    // Memory held beside the items, such as one more character in a run.
    void weigh(long long bytes);
    // Whether the receipt printing has grown past one receipt's limits.
    bool full() const;
    // Ends the receipt printing and starts the next, dropping the oldest
    // receipts past the limits.
    void next(bool byCut);

private:
    Limits limits_;
    std::deque<Receipt> receipts_;
    long long keptWeight_ = 0;
    long long dropped_ = 0;
    long long droppedRows_ = 0;
};

} // namespace ostrel::receipt
