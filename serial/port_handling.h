#pragma once

#include "serial/serial_control.h"
#include "serial/serial_source.h"
#include "session/capture_session.h"

#include <string>
#include <string_view>

namespace ostrel {

// What the port handling reads and sets in the window. Setting the open-port
// box's value to a new value must run chkEnableSerialPort_Click at once,
// inside the caller.
class PortControls {
public:
    virtual ~PortControls() = default;
    virtual int enableSerialPortValue() const = 0;
    virtual void setEnableSerialPortValue(int value) = 0;
    virtual void setEnableSerialPortCaption(const std::string& caption) = 0;
    virtual std::string serialPortText() const = 0;
    virtual std::string baudRateText() const = 0;
    virtual int hwHandshakeValue() const = 0;
    // A modal message box with OK and Cancel and the program's title.
    virtual void showOpenFailure(const std::string& message) = 0;
};

// Opens and closes the port as the window's controls say, and hands what the
// port receives straight to the capture session; replies go back through the
// port.
class PortHandling {
public:
    PortHandling(SerialControl& MSComm1, PortControls& window, CaptureSession& session);
    ~PortHandling();

    // The serial control's start-up port and settings (the combo boxes are
    // read again at every opening).
    void SetSerialDefaults();

    // Opens the port when the box is ticked, closes it when not. A failure on
    // either path unticks the box and shows what went wrong.
    void chkEnableSerialPort_Click();

    // Hands everything received to the session in one chunk; when the device
    // is gone, closes the port the way unticking the box does.
    void MSComm1_OnComm();

    // The port as the session sees it: where replies go.
    ByteSource& source() { return source_; }
    void setRealTimeReplies(bool answer) { source_.setRealTimeReplies(answer); }

private:
    void openOrClose();

    SerialControl& MSComm1_;
    PortControls& window_;
    CaptureSession& session_;
    SerialSource source_;
};

// "Error Opening Comm Port 3:9600, N, 8, 1" CR LF "Description:  ..."
std::string OpenFailureMessage(
    const std::string& portText, const std::string& settingsText, const std::string& description);

} // namespace ostrel
