#pragma once

#include "net/forwarding_sink.h"
#include "net/listen_address.h"
#include "net/tcp_port_thread.h"
#include "net/tcp_printer_port.h"
#include "printer/fault_script.h"
#include "serial/qt_serial_control.h"
#include "service/printer_in_time.h"
#include "session/capture_session.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// What makes the window's printer, beside its serial port.
struct SessionPrinterOptions {
    std::optional<ListenAddress> listen;
    TcpJobLimits limits;
    std::optional<PrintPace::Settings> pace; // a printer in time
    std::vector<FaultLine> script;
    std::string forwardHost; // a real printer on TCP; empty: none
    quint16 forwardPort = 9100;
    std::string forwardSerial; // or on a serial line
    std::string forwardSerialSettings;
    bool fallbackAnswer = false;
};

// One printer whose every port feeds one capture session, as the window
// shows it: the TCP port, the printer in time, forwarding to a real printer.
// No widgets: the window shows what it says.
class SessionPrinter {
public:
    // `serialLine` and `serialSource` are the window's serial port, which a
    // full buffer holds back and forwarding taps.
    SessionPrinter(CaptureSession& session, SerialControl& serialLine, ByteSource& serialSource,
        SessionPrinterOptions options);
    ~SessionPrinter();

    // Opens the ports, under `model`; false with the reason.
    bool start(const receipt::PrinterProfile& model, std::string& error);
    // Where TCP jobs are taken; empty without a TCP port.
    std::string listeningOn() const;
    // Another model chosen: it answers as itself, and a real printer's
    // answers are read in its language.
    void setModel(const receipt::PrinterProfile& model);
    // A state set by hand: a printer in time keeps it under its roll.
    void setState(const PrinterState& state);
    PrinterInTime* inTime() { return paced_.get(); }
    ForwardingSink* forwarding() { return forwarding_.get(); }
    // Before the session goes: a network job still open lets go of it.
    void finish();

    // Something happened to a printer in time (paper ran out, ...).
    std::function<void(const std::string&)> printerEvent;
    // The real printer answered a request: whose, where it ends, what it says.
    std::function<void(const ByteSource&, long long end, const std::string&)> answeredRequest;
    // A line to say on standard error, without the program's name.
    std::function<void(const std::string&)> said;

private:
    bool startForwarding(std::string& error);
    void say(const std::string& line) const;

    CaptureSession& session_;
    SerialControl& serialLine_;
    ByteSource& serialSource_;
    SessionPrinterOptions options_;
    bool finished_ = false;
    // The ports come after what they feed, so that they go first.
    std::unique_ptr<ForwardingSink> forwarding_;
    std::unique_ptr<PrinterInTime> paced_;
    // Without a printer in time or a real printer, the port reads and
    // answers on a thread of its own; with them, on the event loop.
    std::unique_ptr<TcpPortThread> networkThread_;
    std::unique_ptr<TcpPrinterPort> network_;
    std::unique_ptr<PacedSession> pacedSession_;
    std::unique_ptr<QtSerialControl> printerLine_;
};

} // namespace ostrel
