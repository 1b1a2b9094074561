#include "net/tcp_printer_port.h"

#include <deque>
#include <utility>
#ifdef Q_OS_UNIX
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace ostrel {

namespace {

// Replies a peer may leave unread in the tool's own buffer (the system's
// socket buffer holds more before it), as a printer's buffer fills up.
constexpr qint64 kMostUnreadReplies = 256 * 1024;
// Connections waiting their turn, taken from the system's queue; more wait
// there.
constexpr std::size_t kMostWaiting = 64;

std::string PeerOf(qintptr descriptor)
{
#ifdef Q_OS_UNIX
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        QHostAddress peer(reinterpret_cast<const sockaddr*>(&address));
        quint16 port = 0;
        if (address.ss_family == AF_INET)
            port = ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
        else if (address.ss_family == AF_INET6)
            port = ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
        return ListenAddressText(peer, port);
    }
#else
    (void)descriptor;
#endif
    return "(peer unknown)";
}

void CloseDescriptor(qintptr descriptor)
{
#ifdef Q_OS_UNIX
    ::close(static_cast<int>(descriptor));
#else
    QTcpSocket socket;
    socket.setSocketDescriptor(descriptor);
#endif
}

} // namespace

TcpConnection::TcpConnection(QTcpSocket* socket, std::string peer)
    : socket_(socket), name_("tcp " + std::move(peer))
{
    // Replies go out at once, not after a delay for coalescing.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

TcpConnection::~TcpConnection() { socket_->deleteLater(); }

void TcpConnection::sendReply(std::string_view bytes)
{
    if (cutOff_ || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    if (socket_->bytesToWrite() + static_cast<qint64>(bytes.size()) > kMostUnreadReplies) {
        cutOff_ = true;
        if (repliesUnread)
            repliesUnread();
        return;
    }
    socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket_->flush();
}

void TcpConnection::deliverPending()
{
    // A zero wait that finds nothing reports a time-out, which is no failure.
    if (socket_->state() == QAbstractSocket::ConnectedState)
        socket_->waitForReadyRead(0);
}

// Accepts connections but opens none: each waits as a bare descriptor, unread,
// until its job's turn, so that nothing of it (its bytes, its end) happens
// before anyone listens.
class TcpPrinterPort::Listener : public QTcpServer {
public:
    explicit Listener(std::function<void()> arrived) : arrived_(std::move(arrived)) {}
    ~Listener() override { dropWaiting(); }

    bool hasWaiting() const { return !waiting_.empty(); }
    std::pair<qintptr, std::string> takeWaiting()
    {
        auto next = std::move(waiting_.front());
        waiting_.pop_front();
        if (waiting_.size() < kMostWaiting)
            resumeAccepting();
        return next;
    }
    void dropWaiting()
    {
        for (const auto& [descriptor, peer] : waiting_)
            CloseDescriptor(descriptor);
        waiting_.clear();
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        waiting_.emplace_back(descriptor, PeerOf(descriptor));
        if (waiting_.size() >= kMostWaiting)
            pauseAccepting();
        arrived_();
    }

private:
    std::function<void()> arrived_;
    std::deque<std::pair<qintptr, std::string>> waiting_;
};

TcpPrinterPort::TcpPrinterPort(TcpJobLimits limits)
    : server_(std::make_unique<Listener>([this] { takeNextConnection(); }))
{
    idle_.setSingleShot(true);
    idle_.setInterval(static_cast<int>(limits.idle.count()));
    connect(&idle_, &QTimer::timeout, this, [this] { endCurrentJob("idle timeout"); });
    whole_.setSingleShot(true);
    whole_.setInterval(static_cast<int>(limits.whole.count()));
    connect(&whole_, &QTimer::timeout, this, [this] { endCurrentJob("job timeout"); });
}

TcpPrinterPort::~TcpPrinterPort()
{
    // No callbacks from here: whoever set them may be half gone already.
    if (current_)
        current_->socket()->disconnect(this);
}

bool TcpPrinterPort::listen(const ListenAddress& where, std::string& error)
{
    if (server_->listen(where.address, where.port))
        return true;
    error = "cannot listen on " + ListenAddressText(where.address, where.port) + ": " +
            server_->errorString().toStdString();
    return false;
}

std::string TcpPrinterPort::listeningOn() const
{
    return ListenAddressText(server_->serverAddress(), server_->serverPort());
}

quint16 TcpPrinterPort::port() const { return server_->serverPort(); }

void TcpPrinterPort::close()
{
    closed_ = true;
    server_->close();
    server_->dropWaiting();
}

void TcpPrinterPort::endLater(QTcpSocket* socket, const std::string& why)
{
    // The end is taken from the event loop, never from inside a reply being
    // written while the chunk is still being taken.
    QMetaObject::invokeMethod(this, [this, socket, why] {
        if (current_ && current_->socket() == socket)
            finish(why);
    }, Qt::QueuedConnection);
}

void TcpPrinterPort::takeNextConnection()
{
    while (!closed_ && !current_ && server_->hasWaiting()) {
        auto [descriptor, peer] = server_->takeWaiting();
        auto* socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            CloseDescriptor(descriptor);
            delete socket;
            continue;
        }
        // Qt stops taking from the system when this much waits unread, so
        // that a flood waits in the peer's socket, not in our memory.
        socket->setReadBufferSize(4 * kReadSlice);
        current_ = std::make_unique<TcpConnection>(socket, std::move(peer));
        current_->repliesUnread = [this, socket] { endLater(socket, "replies not read"); };
        connect(socket, &QTcpSocket::readyRead, this, [this] { readAvailable(); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { endLater(socket, "closed by the peer"); });
        connect(socket, &QTcpSocket::errorOccurred, this,
                [this, socket](QAbstractSocket::SocketError error) {
                    // The peer closing is told by disconnected; a zero wait
                    // finding nothing is no failure at all.
                    if (error != QAbstractSocket::RemoteHostClosedError &&
                        error != QAbstractSocket::SocketTimeoutError)
                        endLater(socket, socket->errorString().toStdString());
                });
        idle_.start();
        if (whole_.interval() > 0)
            whole_.start();
        if (sink_ != nullptr)
            sink_->sourceStarted(*current_);
        readAvailable();
    }
}

void TcpPrinterPort::readAvailable(bool all)
{
    // A slice at a time, the window's events in between: a peer sending as
    // fast as the loopback goes must not hold the thread for long. What is
    // left is read at the next turn of the event loop.
    do {
        if (!current_)
            return;
        QTcpSocket* socket = current_->socket();
        const qint64 available = std::min<qint64>(socket->bytesAvailable(), kReadSlice);
        if (available <= 0)
            return;
        // One buffer for every read, so that a long job costs no allocations.
        readBuffer_.resize(static_cast<std::size_t>(available));
        const qint64 got = socket->read(readBuffer_.data(), available);
        if (got <= 0)
            return;
        idle_.start();
        if (sink_ != nullptr)
            sink_->bytesArrived(std::string_view(readBuffer_.data(), static_cast<std::size_t>(got)), *current_);
    } while (all);
    if (current_ && current_->socket()->bytesAvailable() > 0 && !readQueued_) {
        readQueued_ = true;
        QMetaObject::invokeMethod(this, [this] {
            readQueued_ = false;
            readAvailable();
        }, Qt::QueuedConnection);
    }
}

void TcpPrinterPort::endCurrentJob(const std::string& why)
{
    if (current_)
        finish(why);
}

void TcpPrinterPort::finish(const std::string& why)
{
    if (!current_ || finishing_)
        return;
    finishing_ = true;
    idle_.stop();
    whole_.stop();
    // What arrived before the end is part of the job.
    readAvailable(true);
    std::unique_ptr<TcpConnection> ended = std::move(current_);
    ended->socket()->disconnect(this);
    if (sink_ != nullptr)
        sink_->sourceStopped(*ended, why);
    ended->socket()->abort();
    ended.reset();
    finishing_ = false;
    if (!closed_)
        takeNextConnection();
}

} // namespace ostrel
