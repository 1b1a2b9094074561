// Fuzz target for the receipt printer model. The first byte chooses the
// printer's language (its low two bits) and how the rest is cut into chunks; the job goes through
// once whole and once in those chunks. The model must not crash, must make the same paper both
// ways, must account for every byte with commands that follow each other without gaps, and must
// stay within its memory bounds.

#include "receipt/receipt_printer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

using namespace ostrel::receipt;

[[noreturn]] void Fail(const char* what, long long a = 0, long long b = 0)
{
    std::fprintf(stderr, "receipt model invariant broken: %s (%lld, %lld)\n", what, a, b);
    std::abort();
}

PrinterLimits SmallLimits()
{
    PrinterLimits limits;
    limits.keptReceipts = 8;
    limits.keptBytes = 4 << 20;
    limits.receiptBytes = 1 << 20;
    limits.receiptHeight = 20'000;
    limits.commandBytes = 64 << 10;
    return limits;
}

// Commands follow each other: each starts where the one before it ended.
// Returns where the last one ends, or where it starts when it is a command
// too long to keep whose rest may not have come.
long long CheckContiguous(const ReceiptPrinter& printer)
{
    long long end = -1, start = 0;
    bool skipping = false;
    long long weight = 0;
    for (const Receipt& receipt : printer.receipts()) {
        weight += receipt.weight;
        for (const ModelCommand& command : receipt.commands) {
            if (end >= 0 && command.offset != end)
                Fail("gap between commands", end, command.offset);
            if (command.length < 0)
                Fail("negative length", command.length);
            start = command.offset;
            end = command.offset + command.length;
            skipping = command.description.rfind("Command of ", 0) == 0;
        }
    }
    if (skipping)
        end = start;
    const PrinterLimits limits = SmallLimits();
    if (weight > limits.keptBytes + limits.receiptBytes + (4 << 20))
        Fail("memory bound", weight);
    return end;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const models[]
        = { "generic", "log-printer", "star-tsp650ii-line", "star-tsp100iv" };
    const PrinterProfile& model = *FindPrinterProfile(models[data[0] & 3]);
    const std::size_t step = 1 + (data[0] >> 2) % 61;
    const std::string_view job(reinterpret_cast<const char*>(data + 1), size - 1);

    EstimatedSymbolGeometry geometry;
    ReceiptPrinter whole(geometry, SmallLimits());
    whole.setProfile(model);
    whole.clear(576);
    whole.feed(job);
    ReceiptPrinter pieces(geometry, SmallLimits());
    pieces.setProfile(model);
    pieces.clear(576);
    for (std::size_t at = 0; at < job.size(); at += step)
        pieces.feed(job.substr(at, step));

    const PrinterSummary& a = whole.summary();
    const PrinterSummary& b = pieces.summary();
    if (a.commandsByKind != b.commandsByKind)
        Fail("chunking changed the commands");
    if (a.notUnderstoodBytes != b.notUnderstoodBytes)
        Fail("chunking changed what was understood");
    if (a.cutCount != b.cutCount || a.symbolCount != b.symbolCount)
        Fail("chunking changed cuts or symbols");
    if (whole.receipts().size() != pieces.receipts().size())
        Fail("chunking changed the receipts");
    if (whole.receipts().back().height != pieces.receipts().back().height)
        Fail("chunking changed the paper");

    const long long end = CheckContiguous(whole);
    CheckContiguous(pieces);
    if (end > static_cast<long long>(job.size()))
        Fail("commands past the end", end, static_cast<long long>(job.size()));
    return 0;
}
