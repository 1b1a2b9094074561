#pragma once

#include "session/byte_source.h"
#include "serial/serial_control.h"

namespace ostrel {

// The serial port as a byte source: replies go out through MSComm1's Output.
class SerialSource : public ByteSource {
public:
    explicit SerialSource(SerialControl& MSComm1) : MSComm1_(MSComm1) {}

    std::string sourceName() const override { return "serial " + MSComm1_.deviceName(); }
    void sendReply(std::string_view bytes) override { MSComm1_.Output(bytes); }
    void deliverPending() override { MSComm1_.deliverWaiting(); }

private:
    SerialControl& MSComm1_;
};

} // namespace ostrel
