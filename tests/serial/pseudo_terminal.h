#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace ostrel::test {

// A pseudo-terminal pair: the test plays the host on the master side, the tool
// opens the slave side by its path.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& portPath() const { return slavePath_; }
    int masterDescriptor() const { return master_; }
    int slaveDescriptor() const { return slave_; }
    void write(const std::string& bytes);
    // Reads exactly `count` bytes, running the event loop meanwhile; returns
    // what arrived within the time limit.
    std::string read(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Whatever arrives within the time (for "nothing is sent").
    std::string readFor(std::chrono::milliseconds time);
    // Reads what the tool has already sent, without running the event loop.
    std::string readWithoutEventLoop(std::size_t count);
    void closeHostSide();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A private configuration folder ($XDG_CONFIG_HOME) for the test's lifetime,
// where port numbers can be linked to devices.
class PortLinks {
public:
    PortLinks();
    ~PortLinks();
    void link(int port, const std::string& device);
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    std::string oldConfig_;
    bool hadConfig_ = false;
};

// Runs the event loop until the condition holds or the limit passes.
bool WaitUntil(const std::function<bool()>& condition,
    std::chrono::milliseconds limit = std::chrono::seconds(3));

} // namespace ostrel::test
