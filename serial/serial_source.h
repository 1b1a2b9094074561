#pragma once

#include "serial/serial_control.h"
#include "session/byte_source.h"

#include <atomic>

namespace ostrel {

// The serial port as a byte source: replies go out through MSComm1's Output.
class SerialSource : public ByteSource {
public:
    explicit SerialSource(SerialControl& MSComm1)
        : MSComm1_(MSComm1)
    {
    }

    std::string sourceName() const override { return "serial " + MSComm1_.deviceName(); }
    void sendReply(std::string_view bytes) override { MSComm1_.Output(bytes); }
    void deliverPending() override { MSComm1_.deliverWaiting(); }

    // Off at start: a serial printer of the window's kind answers DLE "R"
    // alone until the user asks for more.
    bool realTimeReplies() const override { return realTime_.load(); }
    void setRealTimeReplies(bool answer) { realTime_.store(answer); }

private:
    SerialControl& MSComm1_;
    std::atomic<bool> realTime_ { false };
};

} // namespace ostrel
