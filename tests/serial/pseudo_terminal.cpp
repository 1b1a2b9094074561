#include "tests/serial/pseudo_terminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace ostrel::test {

PseudoTerminal::PseudoTerminal()
{
    char name[256];
    termios raw {};
    cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
}

PseudoTerminal::~PseudoTerminal()
{
    closeHostSide();
    if (slave_ >= 0)
        ::close(slave_);
}

void PseudoTerminal::write(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw std::runtime_error("write to the pseudo-terminal failed");
        done += static_cast<std::size_t>(n);
        QCoreApplication::processEvents(); // let the tool read, so the buffer drains
    }
}

std::string PseudoTerminal::read(std::size_t count, std::chrono::milliseconds limit)
{
    std::string received;
    QElapsedTimer timer;
    timer.start();
    while (received.size() < count && timer.elapsed() < limit.count()) {
        QCoreApplication::processEvents();
        pollfd p { master_, POLLIN, 0 };
        if (::poll(&p, 1, 1) > 0 && (p.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n
                = ::read(master_, buffer, std::min(sizeof buffer, count - received.size()));
            if (n > 0)
                received.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return received;
}

std::string PseudoTerminal::readFor(std::chrono::milliseconds time)
{
    return read(static_cast<std::size_t>(-1) / 2, time);
}

std::string PseudoTerminal::readWithoutEventLoop(std::size_t count)
{
    std::string received;
    pollfd p { master_, POLLIN, 0 };
    while (received.size() < count && ::poll(&p, 1, 100) > 0) {
        char buffer[256];
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - received.size()));
        if (n <= 0)
            break;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    return received;
}

void PseudoTerminal::closeHostSide()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

PortLinks::PortLinks()
{
    char folder[] = "/tmp/ostrel-ports-XXXXXX";
    folder_ = ::mkdtemp(folder);
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadConfig_ = old != nullptr;
    oldConfig_ = old != nullptr ? old : "";
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    std::filesystem::create_directories(folder_ + "/ostrel-serial-capture");
}

PortLinks::~PortLinks()
{
    if (hadConfig_)
        ::setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(folder_);
}

void PortLinks::link(int port, const std::string& device)
{
    const std::filesystem::path link
        = folder_ + "/ostrel-serial-capture/com" + std::to_string(port);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(device, link);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limit.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace ostrel::test
