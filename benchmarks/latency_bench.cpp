// Status-reply latency over a pseudo-terminal, and the window's memory over a
// long capture.

#include "app/sample_print_job.h"
#include "serial/qt_serial_control.h"
#include "tests/serial/pseudo_terminal.h"
#include "tests/ui/window_test_support.h"

#include <QApplication>
#include <QEventLoop>
#include <QSerialPort>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace ostrel;
using Clock = std::chrono::steady_clock;

// The host: writes DLE "R" and waits for four bytes, `rounds` times, on its
// own thread, while the main thread runs the event loop of whatever answers.
std::vector<double> TimeRoundTrips(int master, int rounds)
{
    std::vector<double> micros;
    std::atomic<bool> done = false;
    std::thread host([&] {
        for (int i = 0; i < rounds; ++i) {
            const auto start = Clock::now();
            if (::write(master, "\x10R", 2) != 2)
                break;
            std::size_t got = 0;
            while (got < 4) {
                pollfd p{master, POLLIN, 0};
                if (::poll(&p, 1, 2000) <= 0)
                    break;
                char reply[16];
                const ssize_t n = ::read(master, reply, sizeof reply);
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    host.join();
    std::sort(micros.begin(), micros.end());
    return micros;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p * sorted.size()))];
}

void StatusReplyLatency(benchmark::State& state)
{
    constexpr int kRounds = 1000;
    for (auto _ : state) {
        // The window with its real serial layer and handlers.
        test::PortLinks links;
        test::PseudoTerminal windowPty;
        links.link(1, windowPty.portPath());
        QtSerialControl comm;
        test::FakeDialog dialog;
        CaptureSession session;
        Form1 form(session, comm, dialog);
        form.chkEnableSerialPort->click();
        const std::vector<double> window = TimeRoundTrips(windowPty.masterDescriptor(), kRounds);

        // A bare echo of four bytes on a minimal QSerialPort, for comparison.
        test::PseudoTerminal echoPty;
        QSerialPort echo;
        echo.setPortName(QString::fromStdString(echoPty.portPath()));
        echo.open(QIODevice::ReadWrite);
        qint64 pending = 0;
        QObject::connect(&echo, &QSerialPort::readyRead, [&] {
            pending += echo.readAll().size();
            for (; pending >= 2; pending -= 2) {
                echo.write("\x10R\x00\x08", 4);
                echo.flush();
            }
        });
        const std::vector<double> bare = TimeRoundTrips(echoPty.masterDescriptor(), kRounds);

        state.counters["window_median_us"] = Percentile(window, 0.5);
        state.counters["window_p99_us"] = Percentile(window, 0.99);
        state.counters["echo_median_us"] = Percentile(bare, 0.5);
        state.counters["echo_p99_us"] = Percentile(bare, 0.99);
        state.counters["median_ratio"] = Percentile(window, 0.5) / Percentile(bare, 0.5);
        state.counters["answered"] = static_cast<double>(window.size());
    }
}
BENCHMARK(StatusReplyLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

double PeakResidentMB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// Peak resident memory after 1 MB and after 100 MB of stream through the
// window: the views keep 1000 lines each and the raw capture 10,001 bytes, so
// the second must not be higher. Run it first in a fresh process.
void WindowMemory(benchmark::State& state)
{
    const std::string megabyte = SamplePrintStream(1 << 20);
    for (auto _ : state) {
        test::Window window;
        window.form->show();
        const auto feed = [&] {
            for (std::size_t at = 0; at < megabyte.size(); at += 4096) {
                window.comm.receive(megabyte.substr(at, 4096));
                // The stand-in port keeps what it was sent; a port does not.
                window.comm.sent.clear();
                QCoreApplication::processEvents();
            }
        };
        feed();
        const double afterOne = PeakResidentMB();
        for (int i = 1; i < 100; ++i)
            feed();
        const double afterHundred = PeakResidentMB();
        state.counters["peak_mb_after_1mb"] = afterOne;
        state.counters["peak_mb_after_100mb"] = afterHundred;
        state.counters["growth_mb"] = afterHundred - afterOne;
    }
}
BENCHMARK(WindowMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
