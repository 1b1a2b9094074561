// ostrel-demo-host: plays a point-of-sale program on a pseudo-terminal, so the
// tool can be seen at work without a printer cable. It links the terminal as
// a port number, waits for the window to open that port, sends a sample
// receipt and a status request, and prints the status replies it gets.

#include "app/sample_print_job.h"
#include "app/tool_options.h"
#include "serial/port_number.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

// The master side of a pseudo-terminal reports a hang-up while nobody has
// the slave side open.
bool SlaveIsOpen(int master)
{
    pollfd p { master, 0, 0 };
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        if (n > 0)
            done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string ReadFor(int fd, int milliseconds)
{
    std::string received;
    for (int waited = 0; waited < milliseconds && !stopRequested; waited += 50) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return received;
}

std::string Hex(const std::string& bytes)
{
    std::string text;
    for (unsigned char b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%s%02X", text.empty() ? "" : " ", b);
        text += pair;
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    ostrel::ToolCommandLine line("ostrel-demo-host",
        QStringLiteral(
            "Plays a point-of-sale program on a pseudo-terminal: sends a sample receipt and a\n"
            "status request to the window once it opens the port, and prints the replies."));
    line.add({ QStringLiteral("port"),
        QStringLiteral("The port number to link the pseudo-terminal as (default 1)."),
        QStringLiteral("N"), QStringLiteral("1") });
    line.add({ QStringLiteral("once"), QStringLiteral("Send the sample job once, then end.") });
    if (const auto answered
        = line.parse(ostrel::ToolCommandLine::Arguments(argc, argv), std::cout, std::cerr))
        return *answered;
    long long portNumber = 0;
    std::string reason;
    if (!line.number(QStringLiteral("port"), 1, 32767, "a port number", portNumber, reason)
        || !line.noArguments(reason))
        return line.usage(reason, std::cerr);
    const int port = static_cast<int>(portNumber);
    const bool once = line.parser().isSet(QStringLiteral("once"));

    int master = -1;
    int slave = -1;
    char slaveName[256];
    termios raw {};
    cfmakeraw(&raw);
    if (::openpty(&master, &slave, slaveName, &raw, nullptr) != 0) {
        std::fprintf(
            stderr, "ostrel-demo-host: cannot make a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    ::close(slave); // the tool opens it by name

    const fs::path folder = ostrel::PortLinkFolder();
    const fs::path link = folder / ("com" + std::to_string(port));
    std::error_code error;
    fs::create_directories(folder, error);
    if (fs::is_symlink(link, error)) {
        const fs::path target = fs::read_symlink(link, error);
        if (target.string().rfind("/dev/pts/", 0) != 0) {
            std::fprintf(stderr,
                "ostrel-demo-host: %s already links to %s; choose another port with "
                "--port N\n",
                link.c_str(), target.c_str());
            return 1;
        }
        fs::remove(link, error); // an earlier demo's pseudo-terminal
    }
    fs::create_symlink(slaveName, link, error);
    if (error) {
        std::fprintf(stderr, "ostrel-demo-host: cannot link %s: %s\n", link.c_str(),
            error.message().c_str());
        return 1;
    }

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::printf("Demo host ready: port %d is the pseudo-terminal %s (link %s).\n"
                "In Ostrel Serial Print Command Capture, type %d in \"Serial Port\" and press "
                "\"Open Serial Port\".\nCtrl-C ends the demo.\n",
        port, slaveName, link.c_str(), port);
    std::fflush(stdout);

    int status = 0;
    while (!stopRequested) {
        while (!stopRequested && !SlaveIsOpen(master))
            ::usleep(100 * 1000);
        if (stopRequested)
            break;
        ::usleep(300 * 1000); // let the tool finish setting the line up
        std::printf("Port opened: sending a sample receipt...\n");
        const std::string job = ostrel::SampleReceipt();
        if (!WriteAll(master, job)) {
            std::fprintf(stderr, "ostrel-demo-host: sending failed: %s\n", std::strerror(errno));
            status = 1;
            break;
        }
        std::printf("Sent %zu bytes. Asking for the printer's status (DLE \"R\")...\n", job.size());
        WriteAll(master, std::string { '\x10', 'R' });
        const std::string replies = ReadFor(master, 1500);
        if (replies.empty())
            std::printf("No status reply (is \"Enable Status Return\" ticked?).\n");
        for (std::size_t at = 0; at + 4 <= replies.size(); at += 4)
            std::printf("Status reply: %s\n", Hex(replies.substr(at, 4)).c_str());
        std::fflush(stdout);
        if (once)
            break;
        std::printf("Close and open the port again for another receipt.\n");
        std::fflush(stdout);
        while (!stopRequested && SlaveIsOpen(master))
            ::usleep(100 * 1000);
    }
    fs::remove(link, error);
    ::close(master);
    return status;
}
