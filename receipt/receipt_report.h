#pragma once

#include "receipt/receipt_printer.h"

#include <string>
#include <vector>

namespace ostrel::receipt {

// What the capture itself counted beside the printer model.
struct CaptureFigures {
    long long bytes = 0;
    long long commands = 0; // as the command log frames them
    long long statusReplies = 0;
    std::vector<std::string> replies; // the first replies sent, in hex
};

// The JSON summary of a job for tools and CI. Symbol data is any bytes; each
// byte above 0x7E is written as the character of its value (\u00XX), so that
// every byte can be read back.
std::string ReceiptReportJson(const ReceiptPrinter& printer, const CaptureFigures& capture);

} // namespace ostrel::receipt
