// Status-reply latency over a pseudo-terminal beside a bare C responder, the
// window's CPU use at an offered rate, and its memory over a long capture.

#include "app/sample_print_job.h"
#include "benchmarks/on_one_core.h"
#include "net/tcp_port_thread.h"
#include "serial/qt_serial_control.h"
#include "tests/serial/pseudo_terminal.h"
#include "tests/ui/window_test_support.h"

#include "ui/receipt_preview.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace ostrel;
using Clock = std::chrono::steady_clock;

// How the host sends its requests.
struct Pattern {
    int rounds;
    std::chrono::milliseconds gap; // between a reply and the next request
    std::size_t textBefore; // bytes of plain text sent with each request
    std::string_view request = "\x10R";
    std::size_t replyLength = 4;
};

// The host: writes DLE "R" (after `textBefore` bytes of text, in the same
// write) and waits for the four reply bytes, on its own thread, while the main
// thread runs the event loop of whatever answers. Times from the write to the
// last reply byte.
std::vector<double> TimeRoundTrips(int master, Pattern pattern)
{
    std::vector<double> micros;
    QEventLoop loop;
    const std::string request = std::string(pattern.textBefore, 'x') + std::string(pattern.request);
    std::thread host([&] {
        for (int i = 0; i < pattern.rounds; ++i) {
            if (pattern.gap.count() > 0)
                std::this_thread::sleep_for(pattern.gap);
            const auto start = Clock::now();
            if (::write(master, request.data(), request.size())
                != static_cast<ssize_t>(request.size()))
                break;
            std::size_t got = 0;
            while (got < pattern.replyLength) {
                pollfd p { master, POLLIN, 0 };
                if (::poll(&p, 1, 2000) <= 0)
                    break;
                char reply[16];
                const ssize_t n = ::read(master, reply, sizeof reply);
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            if (got < pattern.replyLength)
                break;
            micros.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    host.join();
    std::sort(micros.begin(), micros.end());
    return micros;
}

// The same over TCP, on a connection of the host's own, to the port given.
std::vector<double> TimeTcpRoundTrips(int port, Pattern pattern)
{
    std::vector<double> micros;
    QEventLoop loop;
    std::thread host([&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in where {};
        where.sin_family = AF_INET;
        where.sin_port = htons(static_cast<std::uint16_t>(port));
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0) {
            for (int i = 0; i < pattern.rounds + 20; ++i) {
                const auto start = Clock::now();
                if (::send(fd, pattern.request.data(), pattern.request.size(), MSG_NOSIGNAL) <= 0)
                    break;
                std::size_t got = 0;
                char reply[16];
                while (got < pattern.replyLength) {
                    pollfd p { fd, POLLIN, 0 };
                    if (::poll(&p, 1, 2000) <= 0)
                        break;
                    const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
                    if (n <= 0)
                        break;
                    got += static_cast<std::size_t>(n);
                }
                if (got < pattern.replyLength)
                    break;
                if (i >= 20) // the first ones warm the connection up
                    micros.push_back(
                        std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            }
        }
        ::close(fd);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    host.join();
    std::sort(micros.begin(), micros.end());
    return micros;
}

// The bare TCP responder as a child; its port, read from its first line.
pid_t bareTcp = -1;
int BareTcpPort()
{
    int out[2];
    if (::pipe(out) != 0)
        return 0;
    bareTcp = ::fork();
    if (bareTcp == 0) {
        ::dup2(out[1], 1);
        ::execl(OSTREL_BARE_TCP_RESPONDER, OSTREL_BARE_TCP_RESPONDER, nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    char line[32] = {};
    const ssize_t n = ::read(out[0], line, sizeof line - 1);
    ::close(out[0]);
    return n > 0 ? std::atoi(line) : 0;
}
void StopBareTcp()
{
    ::kill(bareTcp, SIGTERM);
    ::waitpid(bareTcp, nullptr, 0);
}

double Percentile(const std::vector<double>& sorted, double p)
{
    return sorted.empty()
        ? 0
        : sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p * sorted.size()))];
}

// The window, visible, with its real serial layer, on port 1; the Receipt
// Preview open beside it when asked.
struct LiveWindow {
    explicit LiveWindow(bool withPreview = false)
    {
        links.link(1, pty.portPath());
        form.setSerialRealTimeReplies(true);
        form.show();
        if (withPreview)
            preview.showBeside(&form);
        form.chkHWhandshake->setChecked(true);
        form.chkEnableSerialPort->click();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
    }
    test::PortLinks links;
    test::PseudoTerminal pty;
    QtSerialControl comm;
    test::FakeDialog dialog;
    CaptureSession session;
    Form1 form { session, comm, dialog };
    ReceiptPreview preview { session };
};

// The bare C responder on a pseudo-terminal of its own.
struct BareResponder {
    BareResponder()
    {
        pid = ::fork();
        if (pid == 0) {
            ::execl(OSTREL_BARE_RESPONDER, OSTREL_BARE_RESPONDER, pty.portPath().c_str(), nullptr);
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~BareResponder()
    {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    test::PseudoTerminal pty;
    pid_t pid = -1;
};

// The status reply of the window beside the bare responder, in the same run,
// three ways: back to back, one request every 20 ms, and each request behind a
// 4 KiB chunk of text. The window draws what it received meanwhile.
void StatusReplyLatency(benchmark::State& state)
{
    const Pattern patterns[] = { { 300, std::chrono::milliseconds(0), 0 },
        { 150, std::chrono::milliseconds(20), 0 }, { 300, std::chrono::milliseconds(0), 4096 } };
    const char* names[] = { "back_to_back", "every_20ms", "after_4k" };
    for (auto _ : state) {
        LiveWindow window(state.range(0) == 1);
        BareResponder bare;
        for (int i = 0; i < 3; ++i) {
            const std::vector<double> w
                = TimeRoundTrips(window.pty.masterDescriptor(), patterns[i]);
            const std::vector<double> b = TimeRoundTrips(bare.pty.masterDescriptor(), patterns[i]);
            const std::string name = names[i];
            state.counters[name + "_window_median_us"] = Percentile(w, 0.5);
            state.counters[name + "_window_p99_us"] = Percentile(w, 0.99);
            state.counters[name + "_bare_median_us"] = Percentile(b, 0.5);
            state.counters[name + "_bare_p99_us"] = Percentile(b, 0.99);
            state.counters[name + "_answered"] = static_cast<double>(w.size()) / patterns[i].rounds;
        }
    }
    state.SetLabel(QGuiApplication::platformName().toStdString()
        + (state.range(0) == 1 ? ", Receipt Preview open" : ""));
}
BENCHMARK(StatusReplyLatency)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// DLE EOT 1 back to back on the serial port, with real-time replies on, beside
// the bare responder.
void RealTimeReplyLatency(benchmark::State& state)
{
    const Pattern pattern { 300, std::chrono::milliseconds(0), 0, "\x10\x04\x01", 1 };
    for (auto _ : state) {
        LiveWindow window;
        BareResponder bare;
        const std::vector<double> w = TimeRoundTrips(window.pty.masterDescriptor(), pattern);
        const std::vector<double> b = TimeRoundTrips(bare.pty.masterDescriptor(), pattern);
        state.counters["window_median_us"] = Percentile(w, 0.5);
        state.counters["window_p99_us"] = Percentile(w, 0.99);
        state.counters["bare_median_us"] = Percentile(b, 0.5);
        state.counters["answered"] = static_cast<double>(w.size()) / pattern.rounds;
    }
    state.SetLabel(QGuiApplication::platformName().toStdString());
}
BENCHMARK(RealTimeReplyLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

// DLE EOT 1 back to back over TCP to the window listening, as with --listen,
// beside the bare TCP responder.
// The window's TCP port on a free loopback port, feeding its session from
// a thread of its own, as with --listen.
void ListenOnLoopback(TcpPortThread& network)
{
    ListenAddress where;
    std::string error;
    ParseListenAddress("127.0.0.1:0", where, error);
    network.listen(where, error);
}

void WindowTcpRealTimeReply(benchmark::State& state)
{
    const Pattern pattern { 300, std::chrono::milliseconds(0), 0, "\x10\x04\x01", 1 };
    for (auto _ : state) {
        const OnOneCore pinned;
        LiveWindow window;
        TcpPortThread network(window.session);
        ListenOnLoopback(network);
        const std::vector<double> w = TimeTcpRoundTrips(network.port(), pattern);
        const std::vector<double> b = TimeTcpRoundTrips(BareTcpPort(), pattern);
        state.counters["window_median_us"] = Percentile(w, 0.5);
        state.counters["window_p99_us"] = Percentile(w, 0.99);
        state.counters["bare_median_us"] = Percentile(b, 0.5);
        state.counters["answered"] = static_cast<double>(w.size()) / pattern.rounds;
        StopBareTcp();
    }
    state.SetLabel(QGuiApplication::platformName().toStdString());
}
BENCHMARK(WindowTcpRealTimeReply)->Iterations(1)->Unit(benchmark::kMillisecond);

// With the Receipt Preview open, text floods in over TCP as fast as the
// window takes it, and every 50 ms the same client asks DLE EOT 1 and a timer
// on the window's thread stands for a click: the longest wait for the reply
// and for the timer.
void PreviewOpenUnderFlood(benchmark::State& state)
{
    std::string text;
    for (int i = 0; text.size() < (64u << 10); ++i)
        text += "Item " + std::to_string(i) + "                      12.50\n";
    for (auto _ : state) {
        LiveWindow window(state.range(0) == 1);
        TcpPortThread network(window.session);
        ListenOnLoopback(network);
        // The stand-in for clicks: how late a 10 ms timer fires.
        double worstTimerMs = 0;
        auto due = Clock::now() + std::chrono::milliseconds(10);
        QTimer clicks;
        QObject::connect(&clicks, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            worstTimerMs = std::max(
                worstTimerMs, std::chrono::duration<double, std::milli>(now - due).count());
            due = now + std::chrono::milliseconds(10);
        });
        clicks.start(10);
        std::vector<double> replies;
        std::size_t flooded = 0;
        QEventLoop loop;
        std::thread host([&] {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in to {};
            to.sin_family = AF_INET;
            to.sin_port = htons(static_cast<std::uint16_t>(network.port()));
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
                std::atomic<bool> done { false };
                std::thread flood([&] {
                    const auto end = Clock::now() + std::chrono::seconds(4);
                    while (Clock::now() < end
                        && ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) > 0)
                        flooded += text.size();
                    done = true;
                });
                while (!done) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    const auto start = Clock::now();
                    if (::send(fd, "\x10\x04\x01", 3, MSG_NOSIGNAL) != 3)
                        break;
                    pollfd p { fd, POLLIN, 0 };
                    char reply[16];
                    if (::poll(&p, 1, 10'000) <= 0 || ::recv(fd, reply, sizeof reply, 0) <= 0)
                        break;
                    replies.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                }
                flood.join();
            }
            ::close(fd);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        host.join();
        std::sort(replies.begin(), replies.end());
        state.counters["reply_worst_ms"] = replies.empty() ? -1 : replies.back();
        state.counters["reply_median_ms"] = Percentile(replies, 0.5);
        state.counters["click_worst_ms"] = worstTimerMs;
        state.counters["flooded_mb"] = static_cast<double>(flooded) / (1 << 20);
    }
    state.SetLabel(QGuiApplication::platformName().toStdString()
        + (state.range(0) == 1 ? ", Receipt Preview open" : ""));
}
BENCHMARK(PreviewOpenUnderFlood)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

double CpuSeconds(clockid_t clock)
{
    timespec t {};
    ::clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The window's share of a core while a host offers 1 MB/s in 4 KiB writes.
// The host's own thread is not counted.
void WindowCpuAtOneMegabytePerSecond(benchmark::State& state)
{
    constexpr std::size_t kChunk = 4096;
    constexpr int kSeconds = 4;
    const std::string stream = SamplePrintStream(static_cast<std::size_t>(kSeconds) << 20);
    for (auto _ : state) {
        LiveWindow window;
        struct : CaptureListener {
            void chunkTaken(std::string_view chunk, ByteSource*) override { bytes += chunk.size(); }
            std::size_t bytes = 0;
        } received;
        window.session.addListener(received);
        QEventLoop loop;
        double hostCpu = 0;
        const double processStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const auto start = Clock::now();
        std::thread host([&] {
            const double own = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            auto next = Clock::now();
            for (std::size_t at = 0; at < stream.size(); at += kChunk) {
                std::this_thread::sleep_until(next);
                next += std::chrono::microseconds(kChunk * 1'000'000 / (1 << 20));
                const std::string_view chunk = std::string_view(stream).substr(at, kChunk);
                std::size_t sent = 0;
                while (sent < chunk.size()) {
                    const ssize_t n = ::write(
                        window.pty.masterDescriptor(), chunk.data() + sent, chunk.size() - sent);
                    if (n <= 0)
                        break;
                    sent += static_cast<std::size_t>(n);
                }
                // The replies to the stream's status requests are read and dropped.
                pollfd p { window.pty.masterDescriptor(), POLLIN, 0 };
                char drain[256];
                while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)
                    && ::read(window.pty.masterDescriptor(), drain, sizeof drain) > 0) { }
            }
            hostCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - own;
            // Time for the window to take and draw the last chunk.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        host.join();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart - hostCpu;
        state.counters["cpu_percent"] = 100 * cpu / wall;
        state.counters["received_mb"] = static_cast<double>(received.bytes) / (1 << 20);
        window.session.removeListener(received);
    }
    state.SetLabel(QGuiApplication::platformName().toStdString());
}
BENCHMARK(WindowCpuAtOneMegabytePerSecond)->Iterations(1)->Unit(benchmark::kSecond);

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
