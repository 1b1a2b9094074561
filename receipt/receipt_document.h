#pragma once

#include "receipt/kept_bytes.h"
#include "receipt/receipt_printer.h"

#include <cstddef>
#include <string_view>

namespace ostrel::receipt {

// A rectangle of paper, in dots.
struct DotRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool contains(int px, int py) const
    {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
    DotRect united(const DotRect& other) const;
};

DotRect ItemRect(const PaperItem& item);

// Where command `command` of the receipt printed: what it drew, or a thin
// line at the paper's place when it drew nothing.
DotRect PlaceOfCommand(const Receipt& receipt, int command, int paperWidth);

// What a receipt viewer reads: the bytes as they arrive, read by the printer
// model a slice at a time when the viewer has time, and the bytes read, to
// read them again on another paper width. Which receipt is shown, and where
// a command printed, are answered here, so that the window only shows.
class ReceiptDocument {
public:
    // How many of the newest bytes it keeps to read, and to read again.
    static constexpr std::size_t kHistoryKept = 16u << 20;

    explicit ReceiptDocument(
        const SymbolGeometry& geometry, std::function<bool(char32_t)> glyphCoverage = {});

    // Bytes that arrived; cheap, as it runs on the reply path. A flood past
    // what is kept starts the model again from the newest part.
    void arrive(std::string_view bytes);
    bool waiting() const { return readAt_ < arrived_.size(); }
    // Reads at most `bytes` of what arrived; false once nothing waits.
    bool readSome(std::size_t bytes);
    void readAll();
    // How often a flood made the model start again: a reader that meets a
    // change knows its place is gone.
    long long restarts() const { return restarts_; }
    // Forgets everything, as after Clear All.
    void clear();
    // Reads again what was kept, on paper `dots` wide.
    void setPaperWidth(int dots);
    // Reads again what was kept, as this printer model prints it.
    void setProfile(const PrinterProfile& profile);

    const ReceiptPrinter& printer() const { return printer_; }
    // Every byte that arrived is counted, Clear All or not; this is the count
    // at the byte the model reads as offset 0, so that a place in what
    // arrived is found among the model's commands.
    long long modelStart() const { return modelStart_; }
    long long arrivedCount() const { return arrivedCount_; }
    const std::deque<Receipt>& receipts() const { return printer_.receipts(); }
    // Whether the bytes read are only the newest part of a longer capture.
    bool historyCut() const { return historyCut_; }
    // Whether nothing was printed yet: no paper fed, nothing dropped.
    bool nothingPrinted() const;
    // The newest receipt worth showing: the paper after the last cut, while
    // still blank, is not.
    int newestShown() const;
    // The command that drew the dot at (x, y) of receipt `index`, or -1.
    int commandAt(int index, int x, int y) const;
    // Where command `command` of receipt `index` printed; a thin line at
    // the paper's place when it drew nothing.
    DotRect placeOf(int index, int command) const;

private:
    ReceiptPrinter printer_;
    KeptBytes arrived_ { kHistoryKept };
    std::size_t readAt_ = 0;
    KeptBytes history_ { kHistoryKept };
    bool historyCut_ = false;
    long long restarts_ = 0;
    long long arrivedCount_ = 0;
    long long modelStart_ = 0;
};

} // namespace ostrel::receipt
