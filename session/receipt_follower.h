#pragma once

#include "receipt/receipt_printer.h"
#include "session/capture_session.h"

namespace ostrel::receipt {

// Feeds the printer model every chunk the capture session takes, and clears it
// with Clear All.
class ReceiptFollower : public CaptureListener {
public:
    explicit ReceiptFollower(ReceiptPrinter& printer)
        : printer_(printer)
    {
    }
    void chunkTaken(std::string_view chunk, ByteSource*) override { printer_.feed(chunk); }
    void captureCleared() override { printer_.clear(); }

private:
    ReceiptPrinter& printer_;
};

} // namespace ostrel::receipt
