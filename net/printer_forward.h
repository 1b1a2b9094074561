#pragma once

#include "net/listen_address.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace ostrel {

// A real printer on TCP, between which and the program the tool stands: one
// connection a job, as a driver makes it. What the program sends goes on as
// it arrives, in order; what the printer answers is handed back as it
// arrives. It never holds more than `bound` bytes the printer has not taken:
// past that it says it is congested, and the caller stops reading the program.
class PrinterForward : public QObject {
    Q_OBJECT
public:
    PrinterForward(std::string host, quint16 port, std::size_t bound);
    // A printer on a line the caller keeps open for every job (a serial
    // port): `write` sends on it and says false when it cannot; its answers
    // are handed in with answer().
    PrinterForward(std::function<bool(std::string_view)> write, std::string name);
    ~PrinterForward() override;
    // Serial: what the printer's port received while this job goes on.
    void answer(std::string_view bytes);

    // Connects; the bytes sent meanwhile wait (within the bound).
    void open();
    void send(std::string_view bytes);
    // Waits at most `limit` for the printer to take what waits and to answer
    // it, then closes. What it did not take counts as not delivered.
    void close(std::chrono::milliseconds limit);

    bool congested() const { return congested_; }
    const std::string& error() const { return error_; }
    long long errorAtUs() const { return errorAtUs_; }
    long long delivered() const { return delivered_; }
    long long notDelivered() const { return notDelivered_; }
    std::string target() const { return write_ ? host_ : host_ + ":" + std::to_string(port_); }

    // The printer's bytes, as they arrive.
    std::function<void(std::string_view)> answered;
    // Congested (stop reading the program) or not any more.
    std::function<void(bool)> congestion;
    // The printer could not be reached, dropped the connection or failed.
    std::function<void(const std::string&)> failed;
    // Microseconds since the job began, for the failure's time.
    std::function<long long()> clock;

private:
    void writeWaiting();
    void readAnswers();
    void fail(const std::string& why);
    void setCongested(bool congested);

    std::string host_;
    quint16 port_;
    std::size_t bound_;
    QTcpSocket socket_;
    std::function<bool(std::string_view)> write_;
    std::string waiting_;     // sent before the connection was made
    long long delivered_ = 0; // taken by the printer's side of the connection
    long long notDelivered_ = 0;
    long long queued_ = 0;    // handed to the socket, not yet written
    std::string error_;
    long long errorAtUs_ = -1;
    bool connected_ = false;
    bool congested_ = false;
    bool closing_ = false;
};

// "HOST[:PORT]" (port 9100 by default), or false with the reason.
bool ParseForwardTarget(const std::string& text, std::string& host, quint16& port, std::string& error);
// "serial:DEVICE[,SETTINGS]": true when the text names a serial printer.
bool IsSerialTarget(const std::string& text, std::string& device, std::string& settings);

} // namespace ostrel
