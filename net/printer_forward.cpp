#include "net/printer_forward.h"

#include "protocol/message_text.h"

#include <cerrno>
#include <cstring>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel {

PrinterForward::PrinterForward(std::string host, quint16 port, std::size_t bound)
    : host_(std::move(host))
    , port_(port)
    , bound_(bound)
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
        if (closing_)
            closeStep();
    });
    connect(&socket_, &QTcpSocket::bytesWritten, this, [this](qint64 written) {
        sent_ += written;
        queued_ -= written;
        if (congested_ && static_cast<std::size_t>(queued_) <= bound_ / 2)
            setCongested(false);
        if (closing_)
            closeStep();
    });
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { readAnswers(); });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError code) {
        fail(code == QAbstractSocket::ConnectionRefusedError ? "connection refused"
                : code == QAbstractSocket::RemoteHostClosedError
                ? "the printer closed the connection"
                : code == QAbstractSocket::HostNotFoundError ? "host not found"
                                                             : socket_.errorString().toStdString());
    });
}

PrinterForward::PrinterForward(std::function<bool(std::string_view)> write, std::string name)
    : host_(std::move(name))
    , port_(0)
    , bound_(0)
    , write_(std::move(write))
    , connected_(true)
{
}

PrinterForward::~PrinterForward()
{
    // Nothing is told of a connection cut here: whoever would hear is going too.
    disconnect(&socket_, nullptr, this, nullptr);
    socket_.abort();
    endReads_.reset();
    if (endFd_ >= 0)
        ::close(endFd_);
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
        sent_ += static_cast<long long>(bytes.size());
        delivered_ += static_cast<long long>(bytes.size());
        return;
    }
    if (closing_) {
        notDelivered_ += static_cast<long long>(bytes.size());
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

void PrinterForward::close(std::chrono::milliseconds limit, std::function<void()> done)
{
    if (closing_)
        return;
    closing_ = true;
    closedThen_ = std::move(done);
    if (write_) {
        closeDone({}); // the line stays open for the next job
        return;
    }
    closeLimit_.setSingleShot(true);
    connect(&closeLimit_, &QTimer::timeout, this, [this] {
        closeDone(endFd_ >= 0
                ? "the printer neither read to the end of the job nor closed within the time given"
                : "the printer did not take the whole job within the time given");
    });
    closeLimit_.start(limit);
    closeStep();
}

void PrinterForward::closeStep()
{
    if (closed_ || endFd_ >= 0)
        return;
    if (!error_.empty())
        return closeDone("the connection failed: " + error_);
    if (!connected_ || queued_ > 0)
        return; // connected() or bytesWritten() comes back here
    // Everything went to the system. The job's end goes on to the printer as
    // the program's did; the printer answers the last requests, and closes
    // once it has read to the end. The connection is read apart from here
    // on, so that such a close tells from a reset over bytes left unread.
    readAnswers();
    endFd_ = ::dup(static_cast<int>(socket_.socketDescriptor()));
    disconnect(&socket_, nullptr, this, nullptr);
    if (endFd_ < 0) {
        socket_.abort();
        return closeDone("the connection could not be watched to its end");
    }
    ::shutdown(endFd_, SHUT_WR);
    socket_.abort(); // the connection lives on in endFd_
    endReads_ = std::make_unique<QSocketNotifier>(endFd_, QSocketNotifier::Read);
    connect(endReads_.get(), &QSocketNotifier::activated, this, [this] { readToTheEnd(); });
}

void PrinterForward::readToTheEnd()
{
    // A reset is told apart from a close only here: the next read after
    // it may say nothing but the end.
    int failure = 0;
    socklen_t size = sizeof failure;
    if (::getsockopt(endFd_, SOL_SOCKET, SO_ERROR, &failure, &size) == 0 && failure != 0)
        return closeDone(failure == ECONNRESET
                ? "the printer reset the connection, so it may have left bytes unread"
                : std::string("the connection failed: ") + std::strerror(failure));
    char bytes[4096];
    for (;;) {
        const ssize_t n = ::recv(endFd_, bytes, sizeof bytes, MSG_DONTWAIT);
        if (n > 0) {
            if (answered)
                answered(std::string_view(bytes, static_cast<std::size_t>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0)
            return closeDone(errno == ECONNRESET
                    ? "the printer reset the connection, so it may have left bytes unread"
                    : std::string("the connection failed: ") + std::strerror(errno));
        // Closed by the printer after our end: it read all of it, once the
        // system saw everything acknowledged.
        int unacknowledged = 0;
        if (::ioctl(endFd_, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0) {
            delivered_ = sent_;
            return closeDone({});
        }
        return closeDone("the printer closed before acknowledging the whole job");
    }
}

void PrinterForward::closeDone(const std::string& notConfirmed)
{
    if (closed_)
        return;
    closed_ = true;
    closeLimit_.stop();
    if (sent_ > delivered_)
        notConfirmedWhy_ = notConfirmed.empty() ? "not known" : notConfirmed;
    notDelivered_ += queued_; // with what waited for the connection
    queued_ = 0;
    waiting_.clear();
    if (endReads_) {
        // This may run inside the notifier's own signal.
        endReads_->setEnabled(false);
        endReads_.release()->deleteLater();
    }
    if (endFd_ >= 0) {
        ::close(endFd_);
        endFd_ = -1;
    }
    disconnect(&socket_, nullptr, this, nullptr);
    socket_.abort();
    if (closedThen_) {
        // The caller may delete this forward here.
        const std::function<void()> then = std::move(closedThen_);
        closedThen_ = nullptr;
        then();
    }
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
    if (closing_)
        closeStep();
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

bool ParseForwardTarget(
    const std::string& text, std::string& host, quint16& port, std::string& error)
{
    port = 9100;
    std::string number, why;
    if (!SplitHostPort(text, host, number, why)) {
        error = "takes HOST[:PORT] (" + why + "), not \"" + QuotedForMessage(text) + "\"";
        return false;
    }
    if (!number.empty()) {
        char* end = nullptr;
        const long value = std::strtol(number.c_str(), &end, 10);
        if (*end != '\0' || value < 1 || value > 65535) {
            error = "takes HOST[:PORT] with a port from 1 to 65535, not \"" + QuotedForMessage(text)
                + "\"";
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
