// The receipt printer model and renderer: how fast a text receipt stream goes
// through them, and how long a receipt of 1,000 lines takes to draw.

#include "receipt/receipt_printer.h"
#include "render/receipt_renderer.h"
#include "render/symbol_encoder.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

using namespace ostrel;

// Receipts of 40 lines of text, a few styles, each ended by a cut.
std::string TextReceipts(std::size_t size)
{
    std::string stream;
    int line = 0;
    while (stream.size() < size) {
        stream += "\x1b"
                  "E"
            + std::string(1, static_cast<char>(line % 2));
        stream += "Item " + std::to_string(line) + " .............................. 12.50\n";
        if (++line % 40 == 0)
            stream += "\x1d"
                      "V"
                      "\x42"
                      "\x00"
                + std::string("\x1b@", 2);
    }
    return stream;
}

void ModelThroughput(benchmark::State& state)
{
    const std::string stream = TextReceipts(8 << 20);
    render::ZintSymbolGeometry geometry;
    for (auto _ : state) {
        receipt::ReceiptPrinter printer(geometry);
        for (std::size_t at = 0; at < stream.size(); at += 4096)
            printer.feed(std::string_view(stream).substr(at, 4096));
        benchmark::DoNotOptimize(printer.summary().bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(ModelThroughput)->Unit(benchmark::kMillisecond);

// The same receipts in Star Line mode, read by a Star model: Star's tables
// must read as fast as ESC/POS's.
std::string StarTextReceipts(std::size_t size)
{
    std::string stream;
    int line = 0;
    while (stream.size() < size) {
        stream += line % 2 ? "\x1b"
                             "E"
                           : "\x1b"
                             "F";
        stream += "Item " + std::to_string(line) + " .............................. 12.50\n";
        if (++line % 40 == 0)
            stream += "\x1b"
                      "d"
                      "\x03"
                      "\x1b@";
    }
    return stream;
}

void StarModelThroughput(benchmark::State& state)
{
    const std::string stream = StarTextReceipts(8 << 20);
    render::ZintSymbolGeometry geometry;
    for (auto _ : state) {
        receipt::ReceiptPrinter printer(geometry);
        printer.setProfile(*receipt::FindPrinterProfile("star-tsp650ii-line"));
        for (std::size_t at = 0; at < stream.size(); at += 4096)
            printer.feed(std::string_view(stream).substr(at, 4096));
        benchmark::DoNotOptimize(printer.summary().bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(StarModelThroughput)->Unit(benchmark::kMillisecond);

// The model, and every receipt drawn once when it is cut.
void ModelAndRendererThroughput(benchmark::State& state)
{
    const std::string stream = TextReceipts(4 << 20);
    render::ZintSymbolGeometry geometry;
    render::ReceiptRenderer renderer;
    for (auto _ : state) {
        receipt::ReceiptPrinter printer(geometry);
        std::size_t drawn = 0;
        long long cuts = 0;
        for (std::size_t at = 0; at < stream.size(); at += 4096) {
            printer.feed(std::string_view(stream).substr(at, 4096));
            for (; cuts < printer.summary().cutCount; ++cuts) {
                const auto& receipts = printer.receipts();
                const auto& finished = receipts[receipts.size() - 1
                    - static_cast<std::size_t>(printer.summary().cutCount - cuts)];
                drawn += static_cast<std::size_t>(
                    renderer.render(finished, printer.paperWidth()).height());
            }
        }
        benchmark::DoNotOptimize(drawn);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(ModelAndRendererThroughput)->Unit(benchmark::kMillisecond);

void RenderThousandLines(benchmark::State& state)
{
    std::string receipt;
    for (int line = 0; line < 1000; ++line)
        receipt += "Line " + std::to_string(line) + " of a long receipt, with prices 0123456.78\n";
    render::ZintSymbolGeometry geometry;
    receipt::ReceiptPrinter printer(geometry);
    printer.feed(receipt);
    render::ReceiptRenderer renderer;
    renderer.render(
        printer.receipts().back(), printer.paperWidth()); // glyphs drawn once, as in use
    for (auto _ : state) {
        QImage image = renderer.render(printer.receipts().back(), printer.paperWidth());
        benchmark::DoNotOptimize(image.height());
    }
}
BENCHMARK(RenderThousandLines)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
