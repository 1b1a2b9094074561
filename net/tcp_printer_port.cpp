#include "net/tcp_printer_port.h"

namespace ostrel {

TcpConnection::TcpConnection(QTcpSocket* socket)
    : socket_(socket),
      name_("tcp " + ListenAddressText(socket->peerAddress(), socket->peerPort()))
{
    // Replies go out at once, not after a delay for coalescing.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

TcpConnection::~TcpConnection() { socket_->deleteLater(); }

void TcpConnection::sendReply(std::string_view bytes)
{
    if (socket_->state() != QAbstractSocket::ConnectedState)
        return;
    socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket_->flush();
}

void TcpConnection::deliverPending()
{
    if (socket_->state() == QAbstractSocket::ConnectedState)
        socket_->waitForReadyRead(0);
}

TcpPrinterPort::TcpPrinterPort(std::chrono::milliseconds idleTimeout)
{
    // Connections beyond the one printing wait in the system's backlog.
    server_.setMaxPendingConnections(1);
    connect(&server_, &QTcpServer::newConnection, this, [this] { takeNextConnection(); });
    idle_.setSingleShot(true);
    idle_.setInterval(static_cast<int>(idleTimeout.count()));
    connect(&idle_, &QTimer::timeout, this, [this] { endCurrentJob("idle timeout"); });
}

TcpPrinterPort::~TcpPrinterPort()
{
    // No callbacks from here: whoever set them may be half gone already.
    if (current_)
        current_->socket()->disconnect(this);
}

bool TcpPrinterPort::listen(const ListenAddress& where, std::string& error)
{
    if (server_.listen(where.address, where.port))
        return true;
    error = "cannot listen on " + ListenAddressText(where.address, where.port) + ": " +
            server_.errorString().toStdString();
    return false;
}

std::string TcpPrinterPort::listeningOn() const
{
    return ListenAddressText(server_.serverAddress(), server_.serverPort());
}

void TcpPrinterPort::close()
{
    closed_ = true;
    server_.close();
}

void TcpPrinterPort::takeNextConnection()
{
    if (closed_ || current_ || !server_.hasPendingConnections())
        return;
    QTcpSocket* socket = server_.nextPendingConnection();
    server_.pauseAccepting();
    current_ = std::make_unique<TcpConnection>(socket);
    connect(socket, &QTcpSocket::readyRead, this, [this] { readAvailable(); });
    // The end is taken from the event loop, never from inside a reply being
    // written while the chunk is still being taken.
    const auto endLater = [this, socket](std::string why) {
        QMetaObject::invokeMethod(this, [this, socket, why] {
            if (current_ && current_->socket() == socket)
                finish(why);
        }, Qt::QueuedConnection);
    };
    connect(socket, &QTcpSocket::disconnected, this, [endLater] { endLater("closed by the peer"); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [endLater, socket](QAbstractSocket::SocketError error) {
                if (error != QAbstractSocket::RemoteHostClosedError)
                    endLater(socket->errorString().toStdString());
            });
    idle_.start();
    if (sink_ != nullptr)
        sink_->sourceStarted(*current_);
    readAvailable();
}

void TcpPrinterPort::readAvailable()
{
    if (!current_)
        return;
    QTcpSocket* socket = current_->socket();
    const qint64 available = socket->bytesAvailable();
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
    // What arrived before the end is part of the job.
    readAvailable();
    std::unique_ptr<TcpConnection> ended = std::move(current_);
    ended->socket()->disconnect(this);
    if (sink_ != nullptr)
        sink_->sourceStopped(*ended, why);
    ended->socket()->abort();
    ended.reset();
    finishing_ = false;
    if (closed_)
        return;
    server_.resumeAccepting();
    takeNextConnection();
}

} // namespace ostrel
