#include "net/printer_forward.h"

#include "protocol/message_text.h"

#include <QElapsedTimer>

#include <sys/socket.h>

namespace ostrel {

PrinterForward::PrinterForward(std::string host, quint16 port, std::size_t bound)
    : host_(std::move(host)), port_(port), bound_(bound)
{
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        connected_ = true;
        if (!waiting_.empty()) {
            const std::string first = std::move(waiting_);
            waiting_.clear();
            queued_ = 0;
            send(first);
        }
    });
    connect(&socket_, &QTcpSocket::bytesWritten, this, [this](qint64 written) {
        delivered_ += written;
        queued_ -= written;
        if (congested_ && static_cast<std::size_t>(queued_) <= bound_ / 2)
            setCongested(false);
    });
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { readAnswers(); });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError code) {
        // The printer closing after the job, or staying silent while the last
        // answers are waited for, is no failure once everything went.
        if (closing_ && (code == QAbstractSocket::RemoteHostClosedError || code == QAbstractSocket::SocketTimeoutError))
            return;
        fail(code == QAbstractSocket::ConnectionRefusedError ? "connection refused"
             : code == QAbstractSocket::RemoteHostClosedError ? "the printer closed the connection"
             : code == QAbstractSocket::HostNotFoundError    ? "host not found"
                                                              : socket_.errorString().toStdString());
    });
}

PrinterForward::PrinterForward(std::function<bool(std::string_view)> write, std::string name)
    : host_(std::move(name)), port_(0), bound_(0), write_(std::move(write)), connected_(true)
{
}

PrinterForward::~PrinterForward()
{
    // Nothing is told of a connection cut here: whoever would hear is going too.
    disconnect(&socket_, nullptr, this, nullptr);
    socket_.abort();
}

void PrinterForward::open()
{
    if (!write_)
        socket_.connectToHost(QString::fromStdString(host_), port_);
}

void PrinterForward::answer(std::string_view bytes)
{
    if (!bytes.empty() && answered)
        answered(bytes);
}

void PrinterForward::send(std::string_view bytes)
{
    if (!error_.empty()) {
        notDelivered_ += static_cast<long long>(bytes.size());
        return;
    }
    if (write_) {
        if (!write_(bytes)) {
            fail("the printer's line is closed");
            notDelivered_ += static_cast<long long>(bytes.size());
            return;
        }
        delivered_ += static_cast<long long>(bytes.size());
        return;
    }
    if (!connected_) {
        waiting_.append(bytes);
    } else {
        socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    queued_ += static_cast<long long>(bytes.size());
    if (static_cast<std::size_t>(queued_) > bound_)
        setCongested(true);
}

void PrinterForward::readAnswers()
{
    const QByteArray bytes = socket_.readAll();
    if (!bytes.isEmpty() && answered)
        answered(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void PrinterForward::close(std::chrono::milliseconds limit)
{
    closing_ = true;
    if (write_)
        return; // the line stays open for the next job
    QElapsedTimer spent;
    spent.start();
    const auto left = [&] { return std::max<qint64>(1, limit.count() - spent.elapsed()); };
    if (error_.empty() && !connected_)
        socket_.waitForConnected(static_cast<int>(left()));
    while (error_.empty() && queued_ > 0 && spent.elapsed() < limit.count())
        if (!socket_.waitForBytesWritten(static_cast<int>(left())))
            break;
    // The job's end goes on to the printer as the program's did, and the
    // printer answers the last requests after it has them.
    if (error_.empty() && connected_ && queued_ == 0) {
        ::shutdown(static_cast<int>(socket_.socketDescriptor()), SHUT_WR);
        while (spent.elapsed() < limit.count() && socket_.state() == QAbstractSocket::ConnectedState &&
               socket_.waitForReadyRead(static_cast<int>(std::min<qint64>(left(), 500))))
            readAnswers();
        readAnswers();
    }
    if (queued_ > 0) {
        notDelivered_ += queued_;
        queued_ = 0;
    }
    socket_.abort();
}

void PrinterForward::fail(const std::string& why)
{
    if (!error_.empty())
        return;
    error_ = why;
    errorAtUs_ = clock ? clock() : -1;
    notDelivered_ += queued_;
    queued_ = 0;
    waiting_.clear();
    setCongested(false);
    if (failed)
        failed(why);
}

void PrinterForward::setCongested(bool congested)
{
    if (congested == congested_)
        return;
    congested_ = congested;
    if (congestion)
        congestion(congested);
}

bool IsSerialTarget(const std::string& text, std::string& device, std::string& settings)
{
    if (!text.starts_with("serial:"))
        return false;
    const std::string rest = text.substr(7);
    const std::size_t comma = rest.find(',');
    device = rest.substr(0, comma);
    settings = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    return true;
}

bool ParseForwardTarget(const std::string& text, std::string& host, quint16& port, std::string& error)
{
    port = 9100;
    host = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos && text.find(':') == colon) {
        host = text.substr(0, colon);
        const std::string number = text.substr(colon + 1);
        char* end = nullptr;
        const long value = std::strtol(number.c_str(), &end, 10);
        if (number.empty() || *end != '\0' || value < 1 || value > 65535) {
            error = "takes HOST[:PORT] with a port from 1 to 65535, not \"" + QuotedForMessage(text) + "\"";
            return false;
        }
        port = static_cast<quint16>(value);
    }
    if (host.empty()) {
        error = "takes HOST[:PORT], not \"" + QuotedForMessage(text) + "\"";
        return false;
    }
    return true;
}

} // namespace ostrel
