// How fast received bytes go through the engine alone, and through the window
// with its real widgets repainting after every chunk.

#include "app/sample_print_job.h"
#include "tests/capture/capture_fixture.h"
#include "tests/ui/window_test_support.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

using namespace ostrel;

const std::string& Stream()
{
    static const std::string stream = SamplePrintStream(4 << 20);
    return stream;
}

// Engine with in-memory views, 1 KiB chunks.
void EngineThroughput(benchmark::State& state)
{
    const std::string& stream = Stream();
    const auto chunk = static_cast<std::size_t>(state.range(0));
    test::Capture capture;
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk)
            capture.engine.UpdateData(std::string_view(stream).substr(at, chunk));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(EngineThroughput)->Arg(1024)->Unit(benchmark::kMillisecond);

// Per-byte cost at three stream lengths: it must not grow with the capture.
void EngineScaling(benchmark::State& state)
{
    const std::string stream = SamplePrintStream(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        test::Capture capture;
        for (std::size_t at = 0; at < stream.size(); at += 1024)
            capture.engine.UpdateData(std::string_view(stream).substr(at, 1024));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["ns_per_byte"]
        = benchmark::Counter(static_cast<double>(state.iterations() * stream.size()),
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(EngineScaling)
    ->Arg(10'000)
    ->Arg(1'000'000)
    ->Arg(100'000'000)
    ->Unit(benchmark::kMillisecond);

// Counts the paints of a widget, to show the lists really are redrawn.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// The window, shown on the offscreen platform. After every chunk the event
// loop runs as it does in the program, and paints what the chunk changed.
void WindowThroughput(benchmark::State& state)
{
    const std::string stream = SamplePrintStream(1 << 20);
    const auto chunk = static_cast<std::size_t>(state.range(0));
    test::Window window;
    window.form->show();
    QCoreApplication::processEvents();
    PaintCounter counter;
    window.form->listCommands->viewport()->installEventFilter(&counter);
    std::size_t chunks = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk, ++chunks) {
            window.comm.receive(stream.substr(at, chunk));
            QCoreApplication::processEvents();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["paints_per_chunk"]
        = static_cast<double>(counter.paints) / static_cast<double>(chunks);
}
BENCHMARK(WindowThroughput)->Arg(4096)->Arg(256)->Unit(benchmark::kMillisecond);

} // namespace
