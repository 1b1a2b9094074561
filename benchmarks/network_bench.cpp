// ostrel-capture over the loopback as CI meets it, a separate process: its
// throughput, its status reply beside a bare C responder in the same run, and
// its memory over 1,000 jobs.

#include "app/sample_print_job.h"
#include "benchmarks/on_one_core.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A child process whose standard output (and, for ostrel-capture, standard
// error) is read line by line.
class Child {
public:
    explicit Child(std::vector<std::string> argv)
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(out[1], 2);
            std::vector<char*> args;
            for (std::string& arg : argv)
                args.push_back(arg.data());
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
    }
    ~Child()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        ::close(out_);
    }
    // Reads what it has said so far, without waiting.
    void drain()
    {
        pollfd p { out_, POLLIN, 0 };
        char buffer[4096];
        while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0)
                return;
            said_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Reads until the text has appeared; what has been read so far.
    const std::string& waitFor(const std::string& text, std::chrono::seconds limit = 30s)
    {
        const auto end = Clock::now() + limit;
        while (said_.find(text) == std::string::npos && Clock::now() < end) {
            pollfd p { out_, POLLIN, 0 };
            if (::poll(&p, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(out_, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                said_.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return said_;
    }
    std::size_t count(const std::string& text) const
    {
        std::size_t found = 0;
        for (std::size_t at = said_.find(text); at != std::string::npos;
             at = said_.find(text, at + 1))
            ++found;
        return found;
    }
    // Resident memory now and at its peak, in MB.
    double memoryMB(const char* field) const
    {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(field, 0) == 0)
                return std::stod(line.substr(std::string(field).size())) / 1024.0;
        }
        return 0;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string said_;
};

int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in where {};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 100; ++i) {
        if (::connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0)
            return fd;
        std::this_thread::sleep_for(20ms);
    }
    ::close(fd);
    return -1;
}

void SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

int PortFrom(const std::string& said)
{
    const std::size_t at = said.find("listening on 127.0.0.1:");
    return at == std::string::npos ? std::atoi(said.c_str()) : std::atoi(said.c_str() + at + 23);
}

// A request and the length of its reply: DLE "R" (four bytes) or DLE EOT 1
// (one byte).
struct Request {
    std::string_view bytes;
    std::size_t replyLength;
};
constexpr Request kRequests[] = { { "\x10R", 4 }, { "\x10\x04\x01", 1 } };

std::vector<double> RoundTrips(int fd, int rounds, Request request = kRequests[0])
{
    std::vector<double> micros;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        SendAll(fd, request.bytes);
        std::size_t got = 0;
        char reply[16];
        while (got < request.replyLength) {
            const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
            if (n <= 0)
                return micros;
            got += static_cast<std::size_t>(n);
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    return micros;
}

double Median(const std::vector<double>& sorted)
{
    return sorted.empty() ? 0 : sorted[sorted.size() / 2];
}
double P99(const std::vector<double>& sorted)
{
    return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
}

// One job on a connection of its own, its end read as a printer's client does.
void PrintOneJob(int port, std::string_view job)
{
    const int fd = Connect(port);
    SendAll(fd, job);
    ::shutdown(fd, SHUT_WR);
    char drain[64];
    while (::recv(fd, drain, sizeof drain, 0) > 0) { }
    ::close(fd);
}

std::string Folder()
{
    char folder[] = "/tmp/ostrel-bench-XXXXXX";
    return ::mkdtemp(folder);
}

// One 48 MB job of receipts, from connect to its JSON line (files written).
void HeadlessTcpThroughput(benchmark::State& state)
{
    const std::string stream = ostrel::SamplePrintStream(48 << 20);
    for (auto _ : state) {
        const std::string out = Folder();
        Child service({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0", "--out", out });
        const int fd = Connect(PortFrom(service.waitFor("listening on")));
        const auto start = Clock::now();
        std::thread reader([fd] {
            char drain[4096];
            while (::recv(fd, drain, sizeof drain, 0) > 0) { }
        });
        SendAll(fd, stream);
        ::shutdown(fd, SHUT_WR);
        service.waitFor("\"job\":1");
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        reader.join();
        ::close(fd);
        state.SetIterationTime(seconds);
        std::system(("rm -rf " + out).c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(HeadlessTcpThroughput)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// A byte's acknowledgement from an LPD server: true for the zero byte.
bool LpdAcknowledged(int fd)
{
    char ack = 1;
    return ::recv(fd, &ack, 1, 0) == 1 && ack == 0;
}

// One job as CUPS's lpd backend sends it: the control file, then the data
// file with its size, each step acknowledged.
bool PrintOneLpdJob(int port, std::string_view job)
{
    const int fd = Connect(port);
    const std::string control
        = "Hbench\nPbench\nJthroughput\nldfA001bench\nUdfA001bench\nNthroughput\n";
    SendAll(fd, "\x02raw\n");
    bool ok = LpdAcknowledged(fd);
    SendAll(fd, "\x02" + std::to_string(control.size()) + " cfA001bench\n");
    ok = ok && LpdAcknowledged(fd);
    SendAll(fd, control + '\0');
    ok = ok && LpdAcknowledged(fd);
    SendAll(fd, "\x03" + std::to_string(job.size()) + " dfA001bench\n");
    ok = ok && LpdAcknowledged(fd);
    SendAll(fd, job);
    SendAll(fd, std::string(1, '\0'));
    ok = ok && LpdAcknowledged(fd);
    ::close(fd);
    return ok;
}

// The same 48 MB job over LPD and over the raw TCP port of one ostrel-capture,
// in turns, each from connect to its JSON line (files written). The client
// sends on a thread of its own while what the service says is read.
void LpdAgainstTcpThroughput(benchmark::State& state)
{
    const std::string stream = ostrel::SamplePrintStream(48 << 20);
    for (auto _ : state) {
        const std::string out = Folder();
        Child service({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0", "--lpd", "127.0.0.1:0",
            "--out", out });
        const std::string said = service.waitFor("listening for LPD on 127.0.0.1:");
        const int tcpPort = PortFrom(said);
        const int lpdPort
            = std::atoi(said.c_str() + said.find("listening for LPD on 127.0.0.1:") + 31);
        double tcpSeconds = 0, lpdSeconds = 0;
        int job = 0;
        std::atomic<bool> acknowledged = true;
        for (int turn = 0; turn < 6; ++turn) {
            const bool lpd = turn % 2 == 1;
            const auto start = Clock::now();
            std::thread client([&] {
                if (lpd)
                    acknowledged = PrintOneLpdJob(lpdPort, stream) && acknowledged;
                else
                    PrintOneJob(tcpPort, stream);
            });
            service.waitFor("\"job\":" + std::to_string(++job) + ",");
            (lpd ? lpdSeconds : tcpSeconds)
                += std::chrono::duration<double>(Clock::now() - start).count();
            client.join();
        }
        const double megabytes = 3.0 * static_cast<double>(stream.size()) / 1e6;
        state.counters["tcp_mb_s"] = megabytes / tcpSeconds;
        state.counters["lpd_mb_s"] = megabytes / lpdSeconds;
        state.counters["lpd_jobs"] = static_cast<double>(service.count("\"source\":\"lpd "));
        state.counters["lpd_acknowledged"] = acknowledged ? 1 : 0;
        std::system(("rm -rf " + out).c_str());
    }
}
BENCHMARK(LpdAgainstTcpThroughput)->Iterations(1)->Unit(benchmark::kSecond);

// Back-to-back status requests on one connection, ostrel-capture and then the
// bare responder: DLE "R" (0), DLE EOT 1 (1).
void TcpStatusReply(benchmark::State& state)
{
    const Request request = kRequests[state.range(0)];
    const OnOneCore pinned;
    for (auto _ : state) {
        Child service({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0" });
        const int serviceFd = Connect(PortFrom(service.waitFor("listening on")));
        Child bare({ OSTREL_BARE_TCP_RESPONDER });
        const int bareFd = Connect(PortFrom(bare.waitFor("\n")));
        RoundTrips(serviceFd, 50, request); // warm both up
        RoundTrips(bareFd, 50, request);
        // In turns of fifty, so that both meet the same load on the machine.
        std::vector<double> capture, baseline;
        for (int turn = 0; turn < 20; ++turn) {
            for (auto [fd, into] :
                { std::pair { serviceFd, &capture }, std::pair { bareFd, &baseline } }) {
                const std::vector<double> some = RoundTrips(fd, 50, request);
                into->insert(into->end(), some.begin(), some.end());
            }
        }
        std::sort(capture.begin(), capture.end());
        std::sort(baseline.begin(), baseline.end());
        ::close(serviceFd);
        ::close(bareFd);
        state.counters["capture_median_us"] = Median(capture);
        state.counters["capture_p99_us"] = P99(capture);
        state.counters["bare_median_us"] = Median(baseline);
        state.counters["bare_p99_us"] = P99(baseline);
        state.counters["answered"] = static_cast<double>(capture.size()) / 1000;
    }
}
BENCHMARK(TcpStatusReply)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// DLE EOT 1 forwarded by ostrel-capture --forward to a printer (another
// ostrel-capture), against the same request sent to a like printer directly.
void ForwardedStatusRoundTrip(benchmark::State& state)
{
    const OnOneCore pinned;
    for (auto _ : state) {
        Child behind({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0" });
        const int behindPort = PortFrom(behind.waitFor("listening on"));
        Child tap({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0", "--forward",
            "127.0.0.1:" + std::to_string(behindPort) });
        const int tapFd = Connect(PortFrom(tap.waitFor("listening on")));
        Child direct({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0" });
        const int directFd = Connect(PortFrom(direct.waitFor("listening on")));
        RoundTrips(tapFd, 50, kRequests[1]);
        RoundTrips(directFd, 50, kRequests[1]);
        std::vector<double> forwarded, straight;
        for (int turn = 0; turn < 20; ++turn) {
            for (auto [fd, into] :
                { std::pair { tapFd, &forwarded }, std::pair { directFd, &straight } }) {
                const std::vector<double> some = RoundTrips(fd, 50, kRequests[1]);
                into->insert(into->end(), some.begin(), some.end());
            }
        }
        std::sort(forwarded.begin(), forwarded.end());
        std::sort(straight.begin(), straight.end());
        ::close(tapFd);
        ::close(directFd);
        state.counters["forwarded_median_us"] = Median(forwarded);
        state.counters["forwarded_p99_us"] = P99(forwarded);
        state.counters["direct_median_us"] = Median(straight);
        state.counters["answered"] = static_cast<double>(forwarded.size()) / 1000;
    }
}
BENCHMARK(ForwardedStatusRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);

// A forwarded job ends against a printer that neither reads nor closes: the
// page's API must go on answering while the printer is given its moment.
void WebWhileAForwardEnds(benchmark::State& state)
{
    for (auto _ : state) {
        // The printer: connections complete in the listening queue, never read.
        const int printer = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in where {};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof where;
        ::bind(printer, reinterpret_cast<sockaddr*>(&where), size);
        ::listen(printer, 4);
        ::getsockname(printer, reinterpret_cast<sockaddr*>(&where), &size);
        Child tap({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0",
            "--forward", "127.0.0.1:" + std::to_string(ntohs(where.sin_port)) });
        const std::string said = tap.waitFor("on http://127.0.0.1:");
        const int port = PortFrom(said);
        const std::string web = said.substr(said.find("on http://127.0.0.1:") + 20);
        const std::string request = "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:"
            + std::to_string(std::atoi(web.c_str())) + "\r\nConnection: close\r\n\r\n";
        std::atomic<bool> stop { false };
        double longest = 0;
        int answered = 0;
        std::thread asking([&] {
            while (!stop) {
                const auto start = Clock::now();
                const int fd = Connect(std::atoi(web.c_str()));
                SendAll(fd, request);
                // The answer is whole once its head and the body its length says came.
                char buffer[4096];
                std::string got;
                std::size_t whole = std::string::npos;
                while (got.size() < whole) {
                    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    got.append(buffer, static_cast<std::size_t>(n));
                    const std::size_t head = got.find("\r\n\r\n");
                    const std::size_t length = got.find("Content-Length: ");
                    if (head != std::string::npos && length != std::string::npos && length < head)
                        whole = head + 4 + std::strtoul(got.c_str() + length + 16, nullptr, 10);
                }
                const bool ok = got.find("200 OK") != std::string::npos && got.size() >= whole;
                ::close(fd);
                longest = std::max(longest,
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                answered += ok ? 1 : 0;
                std::this_thread::sleep_for(10ms);
            }
        });
        PrintOneJob(port, std::string(100'000, 'x'));
        tap.waitFor("\"delivered\"", 10s);
        stop = true;
        asking.join();
        ::close(printer);
        state.counters["web_longest_wait_ms"] = longest;
        state.counters["web_answered"] = answered;
    }
}
BENCHMARK(WebWhileAForwardEnds)->Iterations(1)->Unit(benchmark::kSecond);

// A printer in time: a job that feeds paper and asks GS r 1 must get its
// answer when the speed says the paper has printed; a flood against a small
// buffer keeps the service's memory flat.
void PrintedReplyOnTime(benchmark::State& state)
{
    for (auto _ : state) {
        Child service({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0", "--print-speed", "100" });
        const int port = PortFrom(service.waitFor("listening on"));
        std::vector<double> late;
        for (const int millimetres : { 50, 200, 400 }) {
            std::string job = "\x1b@";
            for (int fed = 0; fed < millimetres * 8; fed += 200)
                job += "\x1bJ\xc8"; // 200 dots, 25 mm
            job += "\x1dr\x01";
            const int fd = Connect(port);
            const auto start = std::chrono::steady_clock::now();
            SendAll(fd, job);
            char reply = 0;
            const bool answered = ::recv(fd, &reply, 1, 0) == 1;
            const double took = std::chrono::duration<double, std::milli>(
                std::chrono::steady_clock::now() - start)
                                    .count();
            ::close(fd);
            const double expected = millimetres * 10.0; // ms at 100 mm/s
            late.push_back(answered ? took - expected : 1e9);
            state.counters["expected_ms_" + std::to_string(millimetres)] = expected;
            state.counters["answered_ms_" + std::to_string(millimetres)] = answered ? took : -1;
            service.drain();
        }
        double worst = 0;
        for (std::size_t i = 0; i < late.size(); ++i)
            worst = std::max(worst,
                std::abs(late[i]) - std::max(20.0, 0.1 * std::array { 500.0, 2000.0, 4000.0 }[i]));
        state.counters["worst_past_allowance_ms"] = worst;

        // 8 MB of text as fast as it goes against --buffer 4096 at 500 mm/s.
        Child flooded({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0", "--print-speed", "500",
            "--buffer", "4096" });
        const int floodPort = PortFrom(flooded.waitFor("listening on"));
        const int fd = Connect(floodPort);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        const std::string lines = [] {
            std::string text;
            while (text.size() < (8u << 20))
                text += "The quick brown fox jumps over the lazy dog 0123\n";
            return text;
        }();
        std::size_t sent = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < until && sent < lines.size()) {
            const ssize_t n = ::send(fd, lines.data() + sent,
                std::min<std::size_t>(65536, lines.size() - sent), MSG_NOSIGNAL);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        state.counters["flood_taken_kb_in_5s"] = static_cast<double>(sent) / 1024;
        state.counters["flood_peak_mb"] = flooded.memoryMB("VmHWM:");
        ::close(fd);
    }
}
BENCHMARK(PrintedReplyOnTime)->Iterations(1)->Unit(benchmark::kSecond);

// 1,000 receipts, one a connection, with their files: the peak after 100 jobs
// and after 1,000 must be the same.
void HeadlessMemoryOverJobs(benchmark::State& state)
{
    const std::string receipt = ostrel::SampleReceipt();
    for (auto _ : state) {
        const std::string out = Folder();
        Child service({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0", "--out", out });
        const int port = PortFrom(service.waitFor("listening on"));
        double after100 = 0;
        for (int job = 1; job <= 1000; ++job) {
            PrintOneJob(port, receipt);
            service.drain(); // its lines must not fill the pipe
            if (job == 100) {
                service.waitFor("\"job\":100,");
                after100 = service.memoryMB("VmHWM:");
            }
        }
        service.waitFor("\"job\":1000,");
        state.counters["peak_mb_after_100_jobs"] = after100;
        state.counters["peak_mb_after_1000_jobs"] = service.memoryMB("VmHWM:");
        state.counters["jobs_reported"] = static_cast<double>(service.count("\"job\":"));
        std::system(("rm -rf " + out).c_str());
    }
}
BENCHMARK(HeadlessMemoryOverJobs)->Iterations(1)->Unit(benchmark::kSecond);

// A shop of `count` TCP printers in one ostrel-capture, from a config file,
// each writing into a folder of its own; their ports, in the file's order.
std::vector<int> StartShop(
    Child*& shop, std::unique_ptr<Child>& holder, int count, const std::string& out)
{
    std::filesystem::create_directories(out);
    const std::string config = out + "/shop.ini";
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "[p" + std::to_string(i) + "]\nlisten = 127.0.0.1:0\nout = " + out + "/p"
            + std::to_string(i) + "\n";
    std::ofstream(config) << text;
    holder = std::make_unique<Child>(
        std::vector<std::string> { OSTREL_CAPTURE_BINARY, "--config", config });
    shop = holder.get();
    std::vector<int> ports;
    for (int i = 0; i < count; ++i) {
        const std::string name = "p" + std::to_string(i) + ": listening on 127.0.0.1:";
        const std::string& said = shop->waitFor(name);
        const std::size_t at = said.find(name);
        ports.push_back(at == std::string::npos ? -1 : std::atoi(said.c_str() + at + name.size()));
    }
    return ports;
}

// DLE EOT 1 on one printer of eight while the other seven take jobs, in
// turns with the bare responder; then the memory of sixteen idle printers,
// and of eight over 1,000 jobs.
void ShopOfPrinters(benchmark::State& state)
{
    const std::string receipt = ostrel::SampleReceipt();
    for (auto _ : state) {
        const std::string out = Folder();
        {
            const OnOneCore pinned;
            Child* shop = nullptr;
            std::unique_ptr<Child> holder;
            const std::vector<int> ports = StartShop(shop, holder, 8, out);
            std::atomic<bool> stop { false };
            // The job lines are read as they come: a full pipe would hold
            // the service's loop and every reply with it.
            std::thread lines([shop, &stop] {
                while (!stop) {
                    shop->drain();
                    std::this_thread::sleep_for(5ms);
                }
            });
            std::vector<std::thread> tills;
            for (std::size_t i = 1; i < ports.size(); ++i)
                tills.emplace_back([port = ports[i], &stop, &receipt] {
                    while (!stop) {
                        PrintOneJob(port, receipt);
                        std::this_thread::sleep_for(20ms);
                    }
                });
            const int shopFd = Connect(ports[0]);
            Child bare({ OSTREL_BARE_TCP_RESPONDER });
            const int bareFd = Connect(PortFrom(bare.waitFor("\n")));
            RoundTrips(shopFd, 50, kRequests[1]);
            RoundTrips(bareFd, 50, kRequests[1]);
            std::vector<double> busy, baseline;
            for (int turn = 0; turn < 20; ++turn) {
                for (auto [fd, into] :
                    { std::pair { shopFd, &busy }, std::pair { bareFd, &baseline } }) {
                    const std::vector<double> some = RoundTrips(fd, 50, kRequests[1]);
                    into->insert(into->end(), some.begin(), some.end());
                }
            }
            stop = true;
            for (std::thread& till : tills)
                till.join();
            lines.join();
            std::sort(busy.begin(), busy.end());
            std::sort(baseline.begin(), baseline.end());
            ::close(shopFd);
            ::close(bareFd);
            state.counters["shop_median_us"] = Median(busy);
            state.counters["bare_median_us"] = Median(baseline);
            state.counters["shop_answered"] = static_cast<double>(busy.size()) / 1000;
        }
        {
            Child* shop = nullptr;
            std::unique_ptr<Child> holder;
            StartShop(shop, holder, 16, out + "/idle");
            std::this_thread::sleep_for(500ms);
            state.counters["idle_16_peak_mb"] = shop->memoryMB("VmHWM:");
        }
        {
            Child* shop = nullptr;
            std::unique_ptr<Child> holder;
            const std::vector<int> ports = StartShop(shop, holder, 8, out + "/jobs");
            double after100 = 0;
            for (int job = 1; job <= 1000; ++job) {
                PrintOneJob(ports[job % ports.size()], receipt);
                shop->drain();
                if (job == 100)
                    after100 = shop->memoryMB("VmHWM:");
            }
            shop->waitFor("\"job\":125,", 30s);
            state.counters["jobs_peak_mb_after_100"] = after100;
            state.counters["jobs_peak_mb_after_1000"] = shop->memoryMB("VmHWM:");
        }
        std::system(("rm -rf " + out).c_str());
    }
}
BENCHMARK(ShopOfPrinters)->Iterations(1)->Unit(benchmark::kSecond);

// ostrel-capture --http with ten pages watching the live stream (raw
// Server-Sent Events readers): how soon a job's line reaches them after the
// job ends; the status reply with them watching against the bare responder;
// the peak memory after 100 and after 1,000 jobs.
void WebPagesWatching(benchmark::State& state)
{
    const std::string receipt = ostrel::SampleReceipt();
    const OnOneCore pinned; // as the status reply's row without pages
    for (auto _ : state) {
        const std::string out = Folder();
        Child service({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0", "--out", out, "--http",
            "127.0.0.1:0" });
        const std::string said = service.waitFor("on http://127.0.0.1:");
        const int port = PortFrom(said);
        const int web = std::atoi(said.c_str() + said.find("on http://127.0.0.1:") + 20);
        std::atomic<bool> stop { false };
        std::atomic<int> seen { 0 }; // job events the first page has had
        std::vector<std::thread> pages;
        for (int page = 0; page < 10; ++page) {
            const int fd = Connect(web);
            SendAll(fd,
                "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(web) + "\r\n\r\n");
            pages.emplace_back([fd, page, &stop, &seen] {
                std::string tail;
                char buffer[65536];
                while (!stop) {
                    pollfd p { fd, POLLIN, 0 };
                    if (::poll(&p, 1, 50) <= 0)
                        continue;
                    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    if (page != 0)
                        continue;
                    tail.append(buffer, static_cast<std::size_t>(n));
                    for (std::size_t at; (at = tail.find("event: job\n")) != std::string::npos;) {
                        ++seen;
                        tail.erase(0, at + 11);
                    }
                    if (tail.size() > 64)
                        tail.erase(0, tail.size() - 64);
                }
                ::close(fd);
            });
        }
        std::vector<double> live;
        double after100 = 0;
        for (int job = 1; job <= 1000; ++job) {
            PrintOneJob(port, receipt);
            const auto ended = Clock::now();
            while (seen < job && Clock::now() - ended < std::chrono::seconds(5))
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            live.push_back(std::chrono::duration<double, std::milli>(Clock::now() - ended).count());
            service.drain();
            if (job == 100)
                after100 = service.memoryMB("VmHWM:");
        }
        std::sort(live.begin(), live.end());
        // The status reply, ten pages still watching, in turns with the bare responder.
        const int serviceFd = Connect(port);
        Child bare({ OSTREL_BARE_TCP_RESPONDER });
        const int bareFd = Connect(PortFrom(bare.waitFor("\n")));
        RoundTrips(serviceFd, 50);
        RoundTrips(bareFd, 50);
        std::vector<double> watched, baseline;
        for (int turn = 0; turn < 20; ++turn)
            for (auto [fd, into] :
                { std::pair { serviceFd, &watched }, std::pair { bareFd, &baseline } }) {
                const std::vector<double> some = RoundTrips(fd, 50);
                into->insert(into->end(), some.begin(), some.end());
            }
        std::sort(watched.begin(), watched.end());
        std::sort(baseline.begin(), baseline.end());
        ::close(serviceFd);
        ::close(bareFd);
        stop = true;
        for (std::thread& page : pages)
            page.join();
        state.counters["live_median_ms"] = Median(live);
        state.counters["live_max_ms"] = live.back();
        state.counters["live_seen"] = seen.load();
        state.counters["watched_median_us"] = Median(watched);
        state.counters["bare_median_us"] = Median(baseline);
        state.counters["peak_mb_after_100_jobs"] = after100;
        state.counters["peak_mb_after_1000_jobs"] = service.memoryMB("VmHWM:");
        std::system(("rm -rf " + out).c_str());
    }
}
BENCHMARK(WebPagesWatching)->Iterations(1)->Unit(benchmark::kSecond);

// A client that sends a long job ending in a status request and then shuts
// its side, as nc -q1 and socat do: the reply must still come, every time.
void HalfClosedJobsGetTheirReplies(benchmark::State& state)
{
    for (auto _ : state) {
        Child service({ OSTREL_CAPTURE_BINARY, "--listen", "127.0.0.1:0" });
        const int port = PortFrom(service.waitFor("listening on"));
        for (const auto& [megabytes, jobs] : { std::pair { 3, 20 }, std::pair { 30, 20 } }) {
            const std::string job
                = std::string(static_cast<std::size_t>(megabytes) << 20, 'A') + "\x10\x04\x01";
            int delivered = 0;
            for (int i = 0; i < jobs; ++i) {
                const int fd = Connect(port);
                std::string replies;
                std::thread reader([fd, &replies] {
                    char got[64];
                    ssize_t n;
                    while ((n = ::recv(fd, got, sizeof got, 0)) > 0)
                        replies.append(got, static_cast<std::size_t>(n));
                });
                SendAll(fd, job);
                ::shutdown(fd, SHUT_WR);
                reader.join();
                ::close(fd);
                delivered += replies == "\x12" ? 1 : 0;
                service.drain();
            }
            state.counters["delivered_" + std::to_string(megabytes) + "mb"]
                = static_cast<double>(delivered) / jobs;
        }
    }
}
BENCHMARK(HalfClosedJobsGetTheirReplies)->Iterations(1)->Unit(benchmark::kSecond);

// The peak memory of a run of a program, in MB.
double PeakOfRun(std::vector<std::string> args)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::freopen("/dev/null", "w", stdout);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage used {};
    ::wait4(pid, &status, 0, &used);
    return static_cast<double>(used.ru_maxrss) / 1024;
}

// 100 MB of one byte that feeds no paper, through the printer model: the
// report and the compare stay within their memory bound.
void RunsThatFeedNoPaperMemory(benchmark::State& state)
{
    const std::string folder = Folder();
    const std::string two = folder + "/two.bin";
    std::ofstream(two) << "ab";
    for (auto _ : state) {
        for (const auto& [name, byte] :
            { std::pair { "nul", '\0' }, std::pair { "bel", '\a' }, std::pair { "cr", '\r' } }) {
            const std::string file = folder + "/" + name + ".bin";
            std::ofstream(file, std::ios::binary) << std::string(100 << 20, byte);
            state.counters[std::string("report_peak_mb_") + name] = PeakOfRun(
                { OSTREL_REPLAY_BINARY, "--report", "/dev/null", "--log", "/dev/null", file });
            state.counters[std::string("compare_peak_mb_") + name]
                = PeakOfRun({ OSTREL_REPLAY_BINARY, "--compare", two, file });
            std::remove(file.c_str());
        }
    }
    std::system(("rm -rf " + folder).c_str());
}
BENCHMARK(RunsThatFeedNoPaperMemory)->Iterations(1)->Unit(benchmark::kSecond);

// ePOS-Print requests as a web till posts them, one after another on one
// kept-alive connection, to ostrel-capture --web-print: from the request's
// first byte to its answer's last. A 2 KB receipt (some 30 lines, a barcode,
// a QR Code and a cut), printed at once; then with --out, each job's files
// written (and flushed to the disk) before its answer.
void EposPrintAnswer(benchmark::State& state)
{
    std::string elements = "<text align=\"center\" dw=\"true\" dh=\"true\">OSTREL TILL&#10;</text>"
                           "<text dw=\"false\" dh=\"false\" align=\"left\"/>";
    for (int line = 0; elements.size() < 1500; ++line)
        elements += "<text>Item " + std::to_string(line) + "   Flat white      3,20&#10;</text>";
    elements
        += "<barcode type=\"code128\" hri=\"below\">{B4006381333931</barcode>"
           "<symbol type=\"qrcode_model_2\" width=\"5\">https://ostrel.example/r/42</symbol><cut/>";
    const std::string body
        = "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
          "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><epos-print "
          "xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\">"
        + elements + "</epos-print></s:Body></s:Envelope>";
    const std::string request
        = "POST /cgi-bin/epos/service.cgi?devid=local_printer&timeout=10000 HTTP/1.1\r\n"
          "Host: 127.0.0.1\r\nContent-Type: text/xml; charset=utf-8\r\nSOAPAction: \"\"\r\n"
          "Content-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    // The same requests on one kept-alive connection: the answers' times.
    // The service's lines are read as they come, or it would stop once its pipe is full.
    const auto answers = [&request](Child& service, int port, int& succeeded) {
        const int fd = Connect(port);
        std::vector<double> micros;
        for (int round = 0; round < 300; ++round) {
            const auto start = Clock::now();
            SendAll(fd, request);
            std::string answer;
            char buffer[4096];
            // The answer ends with its envelope.
            while (answer.find("</s:Envelope>") == std::string::npos) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                answer.append(buffer, static_cast<std::size_t>(n));
            }
            if (round >= 20) // the first ones warm it up
                micros.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            succeeded += answer.find("success=\"true\"") != std::string::npos ? 1 : 0;
            service.drain();
        }
        ::close(fd);
        std::sort(micros.begin(), micros.end());
        return micros;
    };
    const OnOneCore pinned;
    for (auto _ : state) {
        const std::string out = Folder();
        Child kept({ OSTREL_CAPTURE_BINARY, "--printer", "epson-tm-t88vi", "--web-print",
            "127.0.0.1:0", "--out", out });
        Child unkept(
            { OSTREL_CAPTURE_BINARY, "--printer", "epson-tm-t88vi", "--web-print", "127.0.0.1:0" });
        const auto port = [](Child& child) {
            const std::string said = child.waitFor("ePOS-Print and WebPRNT on 127.0.0.1:");
            return std::atoi(said.c_str() + said.find("WebPRNT on 127.0.0.1:") + 21);
        };
        int succeeded = 0;
        const std::vector<double> alone = answers(unkept, port(unkept), succeeded);
        const std::vector<double> withFiles = answers(kept, port(kept), succeeded);
        state.counters["document_bytes"] = static_cast<double>(body.size());
        state.counters["answer_median_ms"] = Median(alone) / 1000;
        state.counters["answer_p99_ms"] = P99(alone) / 1000;
        state.counters["with_files_median_ms"] = Median(withFiles) / 1000;
        state.counters["succeeded"] = succeeded / 600.0;
        std::system(("rm -rf " + out).c_str());
    }
}
BENCHMARK(EposPrintAnswer)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
