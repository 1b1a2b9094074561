#include "net/tcp_printer_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel {

namespace {

    // Replies a peer may leave unread in the tool's own buffer (the system's
    // socket buffer holds more before it), as a printer's buffer fills up.
    constexpr std::size_t kMostUnreadReplies = 256 * 1024;
    // At a job's end, how long replies the system has not taken yet may wait for
    // the peer to read them. Only a peer that leaves its replies unread waits.
    constexpr std::chrono::milliseconds kReplyLinger(1000);
    // What the end of a job still reads of a peer that keeps sending.
    constexpr std::size_t kMostReadAtTheEnd = 4 * 1024 * 1024;

    // What a waiting connection has for us: bytes or its end (so it is a job, or
    // at least finished), or nothing yet.
    bool HasSomethingToTake(int descriptor)
    {
        char byte = 0;
        const ssize_t n = ::recv(descriptor, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }

} // namespace

std::string PeerAddressOf(int descriptor)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "(peer unknown)";
    QHostAddress peer(reinterpret_cast<const sockaddr*>(&address));
    quint16 port = 0;
    if (address.ss_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    else if (address.ss_family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ListenAddressText(peer, port);
}

TcpConnection::TcpConnection(int descriptor, std::string peer)
    : fd_(descriptor)
    , name_("tcp " + std::move(peer))
    , reads_(descriptor, QSocketNotifier::Read)
    , writes_(descriptor, QSocketNotifier::Write)
{
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    // Replies go out at once, not after a delay for coalescing.
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    writes_.setEnabled(false);
    QObject::connect(&reads_, &QSocketNotifier::activated, [this] {
        if (readable)
            readable();
    });
    QObject::connect(&writes_, &QSocketNotifier::activated, [this] { writeWaiting(); });
}

TcpConnection::~TcpConnection()
{
    reads_.setEnabled(false);
    writes_.setEnabled(false);
    ::close(fd_);
}

TcpConnection::Read TcpConnection::read(
    char* into, std::size_t most, std::size_t& got, std::string& why)
{
    got = 0;
    for (;;) {
        const ssize_t n = ::recv(fd_, into, most, MSG_DONTWAIT);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return Read::Bytes;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Read::Nothing;
        // The end, or a failure: nothing more will come, and the notifier
        // would go on reporting it.
        reads_.setEnabled(false);
        readEnded_ = true;
        if (n == 0)
            return Read::Ended;
        why = std::strerror(errno);
        return Read::Failed;
    }
}

void TcpConnection::sendReply(std::string_view bytes)
{
    if (!failure_.empty() || bytes.empty())
        return;
    if (!unsent_.empty()) {
        if (unsent_.size() + bytes.size() > kMostUnreadReplies) {
            fail("the peer did not read its replies");
            if (repliesUnread)
                repliesUnread();
            return;
        }
        unsent_.append(bytes);
        return;
    }
    unsent_.assign(bytes);
    writeWaiting();
}

void TcpConnection::writeWaiting()
{
    while (!unsent_.empty()) {
        const ssize_t n = ::send(fd_, unsent_.data(), unsent_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0) {
            fail(std::strerror(errno));
            return;
        }
        written_ += n;
        unsent_.erase(0, static_cast<std::size_t>(n));
    }
    writes_.setEnabled(!unsent_.empty());
}

void TcpConnection::fail(const std::string& why)
{
    if (failure_.empty())
        failure_ = why;
    unsent_.clear();
    writes_.setEnabled(false);
}

void TcpConnection::flushReplies(std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    writeWaiting();
    while (!unsent_.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd wait { fd_, POLLOUT, 0 };
        if (::poll(&wait, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        writeWaiting();
    }
    if (!unsent_.empty())
        fail("the peer did not read its replies before the job ended");
}

void TcpConnection::shutDown()
{
    reads_.setEnabled(false);
    writes_.setEnabled(false);
    ::shutdown(fd_, SHUT_WR);
}

void TcpConnection::holdReading(bool held)
{
    if (readEnded_)
        return;
    reads_.setEnabled(!held);
    if (!held && readable)
        readable();
}

void TcpConnection::deliverPending()
{
    if (readable)
        readable();
}

// Accepts connections but opens none: each waits as a bare descriptor, unread,
// until its job's turn, so that nothing of it (its bytes, its end) happens
// before anyone listens.
class TcpPrinterPort::Listener : public QTcpServer {
public:
    explicit Listener(std::function<void()> arrived)
        : arrived_(std::move(arrived))
    {
    }
    ~Listener() override { dropWaiting(); }

    bool hasWaiting() const { return !waiting_.empty(); }
    // The first connection that has sent something (or ended), else the first.
    std::pair<int, std::string> takeWaiting()
    {
        auto chosen = waiting_.begin();
        for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
            if (HasSomethingToTake(it->descriptor)) {
                chosen = it;
                break;
            }
        std::pair<int, std::string> next { chosen->descriptor, std::move(chosen->peer) };
        waiting_.erase(chosen);
        resumeIfRoom();
        return next;
    }
    // Closes the waiting connections that have sent nothing for `limit`.
    void dropSilent(std::chrono::milliseconds limit)
    {
        const auto now = std::chrono::steady_clock::now();
        for (auto it = waiting_.begin(); it != waiting_.end();) {
            if (now - it->since >= limit && !HasSomethingToTake(it->descriptor)) {
                ::close(it->descriptor);
                it = waiting_.erase(it);
            } else {
                ++it;
            }
        }
        resumeIfRoom();
    }
    void dropWaiting()
    {
        for (const Waiting& waiting : waiting_)
            ::close(waiting.descriptor);
        waiting_.clear();
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        const int fd = static_cast<int>(descriptor);
        waiting_.push_back({ fd, PeerAddressOf(fd), std::chrono::steady_clock::now() });
        if (waiting_.size() >= kMostWaiting)
            pauseAccepting();
        arrived_();
    }

private:
    struct Waiting {
        int descriptor;
        std::string peer;
        std::chrono::steady_clock::time_point since;
    };
    void resumeIfRoom()
    {
        if (waiting_.size() < kMostWaiting)
            resumeAccepting();
    }
    std::function<void()> arrived_;
    std::deque<Waiting> waiting_;
};

TcpPrinterPort::TcpPrinterPort(TcpJobLimits limits)
    : server_(std::make_unique<Listener>([this] { takeNextConnection(); }))
    , idleLimit_(limits.idle)
{
    idle_.setSingleShot(true);
    idle_.setInterval(static_cast<int>(limits.idle.count()));
    connect(&idle_, &QTimer::timeout, this, [this] { endCurrentJob("idle timeout"); });
    whole_.setSingleShot(true);
    whole_.setInterval(static_cast<int>(limits.whole.count()));
    connect(&whole_, &QTimer::timeout, this, [this] { endCurrentJob("job timeout"); });
    sweep_.setInterval(static_cast<int>(std::clamp<long long>(limits.idle.count() / 4, 20, 1000)));
    connect(&sweep_, &QTimer::timeout, this, [this] {
        server_->dropSilent(idleLimit_);
        if (!server_->hasWaiting())
            sweep_.stop();
    });
}

TcpPrinterPort::~TcpPrinterPort()
{
    // No callbacks from here: whoever set them may be half gone already.
    if (current_) {
        current_->readable = nullptr;
        current_->repliesUnread = nullptr;
    }
}

bool TcpPrinterPort::listen(const ListenAddress& where, std::string& error)
{
    if (server_->listen(where.address, where.port))
        return true;
    error = "cannot listen on " + ListenAddressText(where.address, where.port) + ": "
        + server_->errorString().toStdString();
    return false;
}

long long TcpPrinterPort::setLeastReceiveWindow()
{
    const qintptr fd = server_->socketDescriptor();
    if (fd < 0)
        return 0;
    int bytes = 1; // the system raises it to its least
    ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    socklen_t size = sizeof bytes;
    if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVBUF, &bytes, &size) != 0)
        return 0;
    // Linux reserves twice what it lets the peer send: the window it
    // advertises is half of it.
    return (bytes + 1) / 2;
}

std::string TcpPrinterPort::listeningOn() const
{
    return ListenAddressText(server_->serverAddress(), server_->serverPort());
}

quint16 TcpPrinterPort::port() const { return server_->serverPort(); }

void TcpPrinterPort::close()
{
    closed_ = true;
    sweep_.stop();
    server_->close();
    server_->dropWaiting();
}

void TcpPrinterPort::endLater(const std::string& why)
{
    // The end is taken from the event loop, never from inside a reply being
    // written while the chunk is still being taken; by then it may be another
    // job's turn, which this end is not for.
    QMetaObject::invokeMethod(
        this,
        [this, job = jobNumber_, why] {
            if (current_ && jobNumber_ == job)
                finish(why);
        },
        Qt::QueuedConnection);
}

void TcpPrinterPort::takeNextConnection()
{
    while (!closed_ && !current_ && !lingering_ && server_->hasWaiting()) {
        auto [descriptor, peer] = server_->takeWaiting();
        current_ = std::make_unique<TcpConnection>(descriptor, std::move(peer));
        held_ = false;
        ending_ = false;
        ++jobNumber_;
        current_->readable = [this] { readAvailable(); };
        current_->repliesUnread = [this] { endLater("replies not read"); };
        idle_.start();
        if (whole_.interval() > 0)
            whole_.start();
        if (sink_ != nullptr)
            sink_->sourceStarted(*current_);
        readAvailable();
    }
    if (server_->hasWaiting() && !closed_ && !sweep_.isActive())
        sweep_.start();
}

void TcpPrinterPort::readAvailable(bool all)
{
    // A slice a turn of the event loop, the window's events in between: a
    // peer sending as fast as the loopback goes must not hold the thread for
    // long, and what is not read waits in the system, so the peer's writes
    // block as a printer's full buffer makes them.
    std::size_t budget = all ? kMostReadAtTheEnd : kReadSlice;
    if (held_ && !all)
        return;
    while (current_ && !ending_ && budget > 0) {
        // One buffer for every read, so that a long job costs no allocations.
        std::size_t most = std::min(kReadSlice, budget);
        if (readRoom_ && !all)
            most = std::min(most, readRoom_());
        if (most == 0)
            return;
        readBuffer_.resize(most);
        std::size_t got = 0;
        std::string why;
        TcpConnection* const connection = current_.get();
        const TcpConnection::Read read
            = connection->read(readBuffer_.data(), readBuffer_.size(), got, why);
        if (read == TcpConnection::Read::Nothing)
            return;
        if (read != TcpConnection::Read::Bytes) {
            ending_ = true;
            endLater(read == TcpConnection::Read::Ended ? "closed by the peer" : why);
            return;
        }
        budget -= got;
        idle_.start();
        if (sink_ != nullptr)
            sink_->bytesArrived(std::string_view(readBuffer_.data(), got), *connection);
        if (!all)
            return;
    }
}

void TcpPrinterPort::holdReading(bool held)
{
    held_ = held;
    if (current_)
        current_->holdReading(held);
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
    // What arrived before the end is part of the job, and every request read
    // is answered before the connection goes: a peer that shut its side after
    // its job still reads.
    readAvailable(true);
    std::unique_ptr<TcpConnection> ended = std::move(current_);
    ending_ = false;
    ended->readable = nullptr;
    ended->repliesUnread = nullptr;
    ended->flushReplies(kReplyLinger);
    // The next job waits while the sink keeps this one.
    lingering_ = std::move(ended);
    lingerWhy_ = why;
    if (sink_ != nullptr && sink_->keepsEnded(*lingering_, [this] {
            QMetaObject::invokeMethod(
                this, [this] { endLingering(); }, Qt::QueuedConnection);
        }))
        return;
    endLingering();
}

void TcpPrinterPort::endLingering()
{
    if (!lingering_)
        return;
    std::unique_ptr<TcpConnection> ended = std::move(lingering_);
    ended->flushReplies(kReplyLinger); // what the sink sent meanwhile
    if (sink_ != nullptr)
        sink_->sourceStopped(*ended, lingerWhy_);
    ended->shutDown();
    ended.reset();
    finishing_ = false;
    if (!closed_)
        takeNextConnection();
}

} // namespace ostrel
