#include "app/send_tool.h"

#include "net/listen_address.h"

#include "app/tool_options.h"
#include "protocol/hex_byte.h"
#include "protocol/message_text.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel {

namespace {

    constexpr int kDefaultPort = 9100;

    // "HOST[:PORT]", "[::1]:9100"; false with a reason.
    bool SplitTarget(
        const std::string& target, std::string& host, std::string& port, std::string& error)
    {
        std::string why;
        if (!SplitHostPort(target, host, port, why)) {
            error = "HOST[:PORT] takes [IPv6]:PORT, not " + QuotedForMessage(target);
            return false;
        }
        if (port.empty())
            port = std::to_string(kDefaultPort);
        if (host.empty() || port.empty()
            || port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5
            || std::stoi(port) < 1 || std::stoi(port) > 65535) {
            error = "HOST[:PORT] takes a host and a port from 1 to 65535, not "
                + QuotedForMessage(target);
            return false;
        }
        return true;
    }

    int Connect(const std::string& host, const std::string& port, std::string& error)
    {
        addrinfo hints {};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (const int failed = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
            failed != 0) {
            error = "cannot find " + QuotedForMessage(host) + ": " + ::gai_strerror(failed);
            return -1;
        }
        int fd = -1;
        for (addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
            fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
            if (fd >= 0 && ::connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
                error = "cannot connect to " + QuotedForMessage(host) + ":" + port + ": "
                    + std::strerror(errno);
                ::close(fd);
                fd = -1;
            }
        }
        ::freeaddrinfo(found);
        return fd;
    }

} // namespace

int RunSend(const std::vector<std::string>& args, std::istream& standardInput,
    std::ostream& standardOutput, std::ostream& standardError)
{
    ToolCommandLine line("ostrel-send",
        QStringLiteral("Sends a print job to a network printer or to ostrel-capture, as a program "
                       "would,\nthen prints the printer's replies in hex until it closes the "
                       "connection."));
    line.addPositional(QStringLiteral("FILE"), QStringLiteral("The job (- for standard input)."));
    line.addPositional(
        QStringLiteral("HOST[:PORT]"), QStringLiteral("The printer (port 9100 if none is given)."));
    line.add(
        { QStringLiteral("raw"), QStringLiteral("Print the replies as they came, not in hex.") });
    line.add({ QStringLiteral("wait"),
        QStringLiteral(
            "After the job, wait at most S seconds for the printer to close (default 10)."),
        QStringLiteral("S"), QStringLiteral("10") });
    QStringList arguments { QStringLiteral("ostrel-send") };
    for (const std::string& arg : args)
        arguments << TextOfLocalBytes(arg);
    if (const auto answered = line.parse(arguments, standardOutput, standardError))
        return *answered;
    const QStringList positional = line.parser().positionalArguments();
    if (positional.size() != 2)
        return line.usage("give FILE and HOST[:PORT]", standardError);
    long long wait = 0;
    std::string error, host, port;
    if (!line.number(QStringLiteral("wait"), 0, 3600, "seconds", wait, error)
        || !SplitTarget(LocalBytes(positional[1]), host, port, error))
        return line.usage(error, standardError);

    const std::string name = LocalBytes(positional[0]);
    std::ifstream file;
    if (name != "-") {
        file.open(name, std::ios::binary);
        if (!file) {
            standardError << "ostrel-send: cannot read " << QuotedForMessage(name) << ": "
                          << std::strerror(errno) << "\n";
            return 1;
        }
    }
    std::istream& job = name == "-" ? standardInput : file;
    const int fd = Connect(host, port, error);
    if (fd < 0) {
        standardError << "ostrel-send: " << error << "\n";
        return 1;
    }
    // Replies are read while the job goes out, so a printer that answers
    // as it reads never waits on us.
    std::string replies;
    const auto readWhatCame = [&](int timeoutMs) {
        pollfd ready { fd, POLLIN, 0 };
        if (::poll(&ready, 1, timeoutMs) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0)
            replies.append(buffer, static_cast<std::size_t>(got));
        return got > 0;
    };
    std::vector<char> chunk(64 * 1024);
    bool sentAll = true;
    while (job) {
        job.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        std::size_t left = static_cast<std::size_t>(job.gcount()), at = 0;
        while (left > 0 && sentAll) {
            pollfd both { fd, POLLOUT | POLLIN, 0 };
            ::poll(&both, 1, -1);
            if (both.revents & POLLIN)
                readWhatCame(0);
            if (!(both.revents & POLLOUT))
                continue;
            const ssize_t n = ::send(fd, chunk.data() + at, left, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n < 0) {
                standardError << "ostrel-send: the printer stopped taking the job: "
                              << std::strerror(errno) << "\n";
                sentAll = false;
                break;
            }
            at += static_cast<std::size_t>(n);
            left -= static_cast<std::size_t>(n);
        }
    }
    if (job.bad()) {
        standardError << "ostrel-send: cannot read " << QuotedForMessage(name) << "\n";
        sentAll = false;
    }
    ::shutdown(fd, SHUT_WR);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(wait);
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() < until) {
        pollfd ready { fd, POLLIN, 0 };
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (::poll(&ready, 1, static_cast<int>(std::max<long long>(0, left.count()))) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        closed = got <= 0;
        if (got > 0)
            replies.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (line.parser().isSet(QStringLiteral("raw")))
        standardOutput << replies;
    else if (!replies.empty())
        standardOutput << HexBytes(replies) << "\n";
    standardOutput << std::flush;
    if (!standardOutput) {
        standardError << "ostrel-send: cannot write to standard output\n";
        return 1;
    }
    if (!closed)
        standardError << "ostrel-send: the printer did not close the connection within " << wait
                      << " s\n";
    return sentAll ? 0 : 1;
}

} // namespace ostrel
