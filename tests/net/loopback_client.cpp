#include "tests/net/loopback_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel::test {

LoopbackClient::LoopbackClient(const std::string& address, int port)
{
    const bool v6 = address.find(':') != std::string::npos;
    fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_storage where {};
    socklen_t length = 0;
    if (v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&where);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr);
        length = sizeof *in6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&where);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, address.c_str(), &in4->sin_addr);
        length = sizeof *in4;
    }
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&where), length) != 0)
        close();
}

LoopbackClient::~LoopbackClient() { close(); }

void LoopbackClient::send(const std::string& bytes)
{
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

std::string LoopbackClient::receive(std::size_t count, std::chrono::milliseconds limit)
{
    std::string got;
    QElapsedTimer timer;
    timer.start();
    while (fd_ >= 0 && got.size() < count && timer.elapsed() < limit.count()) {
        QCoreApplication::processEvents();
        pollfd p { fd_, POLLIN, 0 };
        if (::poll(&p, 1, 1) > 0) {
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, count - got.size()), 0);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return got;
}

bool LoopbackClient::closedByPeer(std::chrono::milliseconds limit)
{
    QElapsedTimer timer;
    timer.start();
    while (fd_ >= 0 && timer.elapsed() < limit.count()) {
        QCoreApplication::processEvents();
        pollfd p { fd_, POLLIN, 0 };
        if (::poll(&p, 1, 1) > 0) {
            char byte;
            if (::recv(fd_, &byte, 1, 0) <= 0)
                return true;
        }
    }
    return false;
}

void LoopbackClient::shutDownSending()
{
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_WR);
}

void LoopbackClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace ostrel::test
