#pragma once

#include "session/arrival_inbox.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ostrel {

// A failure of the serial layer, with a description a user can act on.
class SerialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Event codes reported through CommEvent.
enum CommEventCode : std::int16_t {
    comEvReceive = 2, // data is waiting in Input
    comEventPortLost = 1012, // the device went away while open (unplugged, peer closed)
};

enum HandshakeCode : int {
    comXOnXoff = 1,
    comRTS = 2,
};

// The serial control the window drives, MSComm1: port number, line settings and
// flow control are written while closed and take effect when PortOpen becomes
// true. Every write may throw SerialError. Received data is announced on the
// window's thread through OnComm.
class SerialControl {
public:
    virtual ~SerialControl() = default;

    virtual void setCommPort(std::int16_t port) = 0;
    virtual void setSettings(const std::string& settings) = 0;
    virtual void setRTSEnable(bool enable) = 0;
    virtual void setDTREnable(bool enable) = 0;
    virtual void setHandshaking(int handshaking) = 0;
    virtual void setPortOpen(bool open) = 0;
    virtual bool PortOpen() const = 0;

    virtual std::int16_t CommEvent() const = 0;
    // Everything received and not yet read, one character per byte.
    virtual std::string Input() = 0;
    // Sends the bytes, in order, without waiting for the event loop.
    virtual void Output(std::string_view bytes) = 0;

    // Raises the receive event now for bytes that have arrived at the device
    // but not been announced yet; does nothing when there are none.
    virtual void deliverWaiting() { }
    // The device the port was last opened on, for messages.
    virtual std::string deviceName() const { return {}; }

    // Whether the control can receive on a thread of its own (receiveInto).
    virtual bool receivesOnOwnThread() const { return false; }
    // From the next opening (or at once, when open), received bytes go into
    // `inbox` as from `source` on the control's own thread, which answers
    // status requests there and then and does every write to the port from
    // then on; the receive event then means the inbox holds bytes, and Input
    // stays empty. Null goes back to receiving on the window's thread.
    virtual void receiveInto(ArrivalInbox*, ByteSource*) { }

    // Raised for every event; the handler reads CommEvent.
    std::function<void()> OnComm;
};

} // namespace ostrel
