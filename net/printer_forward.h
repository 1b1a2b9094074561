#pragma once

#include "net/listen_address.h"
#include "printer/conversation_record.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ostrel {

// What a forwarded job waits for the printer to take, at most, before the
// program is read no further, in the window and ostrel-capture alike; said
// in --help.
inline constexpr std::size_t kForwardBuffer = 1 << 20;
// How long a forwarded job's printer may take, after the job's end, to read
// it, answer and close.
inline constexpr std::chrono::milliseconds kForwardLinger { 2000 };

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
    // Gives the printer at most `limit` to take what waits, to answer it and
    // to close after the job's end, without holding the event loop; then
    // closes and calls `done` (at once for a printer on a line). What never
    // went out counts as not delivered.
    void close(std::chrono::milliseconds limit, std::function<void()> done);
    bool closed() const { return closed_; }

    bool congested() const { return congested_; }
    const std::string& error() const { return error_; }
    long long errorAtUs() const { return errorAtUs_; }
    // What the printer is known to have taken: on TCP, everything once it
    // read to the job's end and closed; nothing before it is known.
    long long delivered() const { return delivered_; }
    // Handed to the system for the printer, with no sign that it was read
    // (it may wait in either side's buffers), and why it is not known.
    long long sentNotConfirmed() const { return sent_ - delivered_; }
    const std::string& notConfirmedWhy() const { return notConfirmedWhy_; }
    // All four, as the job's record keeps them.
    ConversationRecord::Delivery delivery() const
    {
        return { delivered_, sentNotConfirmed(),
            closed_ ? notConfirmedWhy_ : "the job is still going on", notDelivered_ };
    }
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
    // Closing: the next step once the printer has taken what waits.
    void closeStep();
    void readToTheEnd();
    void closeDone(const std::string& notConfirmed);
    void fail(const std::string& why);
    void setCongested(bool congested);

    std::string host_;
    quint16 port_;
    std::size_t bound_;
    QTcpSocket socket_;
    std::function<bool(std::string_view)> write_;
    std::string waiting_; // sent before the connection was made
    long long sent_ = 0; // handed to the system
    long long delivered_ = 0; // known to be read by the printer
    std::string notConfirmedWhy_;
    long long notDelivered_ = 0;
    long long queued_ = 0; // handed to the socket, not yet written
    std::string error_;
    long long errorAtUs_ = -1;
    bool connected_ = false;
    bool congested_ = false;
    bool closing_ = false;
    bool closed_ = false;
    // After the job's end the connection is read here, apart from the
    // socket, to tell the printer's close after reading everything from a
    // reset with bytes unread.
    int endFd_ = -1;
    std::unique_ptr<QSocketNotifier> endReads_;
    QTimer closeLimit_;
    std::function<void()> closedThen_;
};

// "HOST[:PORT]" (port 9100 by default), or false with the reason.
bool ParseForwardTarget(
    const std::string& text, std::string& host, quint16& port, std::string& error);
// "serial:DEVICE[,SETTINGS]": true when the text names a serial printer.
bool IsSerialTarget(const std::string& text, std::string& device, std::string& settings);

} // namespace ostrel
