#pragma once

#include <chrono>
#include <string>

namespace ostrel::test {

// A print client on the loopback: a plain blocking socket, as a point-of-sale
// program would open one.
class LoopbackClient {
public:
    // "127.0.0.1" or "::1".
    LoopbackClient(const std::string& address, int port);
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    void send(const std::string& bytes);
    // Up to `count` bytes, running the event loop meanwhile; what came in time.
    std::string receive(
        std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Whether the other end has closed (read gives end of file) within the time.
    bool closedByPeer(std::chrono::milliseconds limit = std::chrono::seconds(3));
    void close();
    // Sends nothing more but still reads, as nc -q1 and socat do after a job.
    void shutDownSending();

private:
    int fd_ = -1;
};

} // namespace ostrel::test
