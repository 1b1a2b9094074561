// Fuzz target for the WebPRNT reader: any body is refused with a reason and
// no commands, or read as a status request, or made into commands that the
// StarPRNT model reads whole (a <rawdata> element aside: its bytes are the
// till's own).

#include "net/webprnt_document.h"
#include "receipt/receipt_printer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ostrel;
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const receipt::PrinterProfile& model = *receipt::FindPrinterProfile("star-tsp100iv");
    std::string error;
    const WebPrntRequest request = ReadWebPrntRequest(body, model, error);
    if (!error.empty() && (!request.commands.empty() || request.statusOnly)) {
        std::fprintf(stderr, "a refused document made commands\n");
        std::abort();
    }
    if (request.statusOnly && !request.commands.empty()) {
        std::fprintf(stderr, "a status request made commands\n");
        std::abort();
    }
    if (error.empty() && !body.contains("rawdata")) {
        receipt::EstimatedSymbolGeometry geometry;
        receipt::ReceiptPrinter printer(geometry);
        printer.setProfile(model);
        printer.feed(request.commands);
        printer.finish();
        if (printer.summary().notUnderstoodBytes != 0) {
            std::fprintf(stderr, "the model did not understand %lld bytes\n",
                printer.summary().notUnderstoodBytes);
            std::abort();
        }
    }
    return 0;
}
