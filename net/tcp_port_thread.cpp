#include "net/tcp_port_thread.h"

#include <future>
#include <utility>

namespace ostrel {

namespace {

    // As on the serial port: the port's thread has answered the requests, so the
    // session only needs the bytes by the next frame, and bytes that keep coming
    // wake the session's thread once a frame, not once a read.
    constexpr int kCollectEveryMs = 16;
    // Bytes the session's thread has not taken yet that stop reading: the rest of
    // a flood waits in the system, the peer's writes block as a printer's full
    // buffer makes them, and the session takes it a slice a turn of its loop.
    constexpr std::size_t kMostWaiting = 256 * 1024;

} // namespace

void CallQueue::post(std::function<void()> call)
{
    bool wake = false;
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        wake = calls_.empty();
        calls_.push_back(std::move(call));
    }
    if (wake)
        QMetaObject::invokeMethod(this, &CallQueue::run, Qt::QueuedConnection);
}

void CallQueue::run()
{
    std::vector<std::function<void()>> calls;
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        std::swap(calls, calls_);
    }
    for (const std::function<void()>& call : calls)
        call();
}

// A job's connection as the session sees it. The session may hold it after
// the connection has gone; only its name and what the port's thread does
// with its replies reach across.
class TcpPortThread::Connection : public ByteSource,
                                  public std::enable_shared_from_this<Connection> {
public:
    Connection(std::string name, TcpPortThread& owner)
        : name_(std::move(name))
        , owner_(owner)
    {
    }

    std::string sourceName() const override { return name_; }
    bool network() const override { return true; }
    // The session's thread: written by the port's thread, if still open.
    void sendReply(std::string_view bytes) override
    {
        if (bytes.empty())
            return;
        owner_.toPort_->post([self = shared_from_this(), reply = std::string(bytes)] {
            if (self->open != nullptr)
                self->open->sendReply(reply);
        });
    }
    // Requests are answered as they arrive; what they came with is taken
    // before a frame is drawn.
    void deliverPending() override
    {
        if (owner_.session_.inbox().waiting())
            owner_.session_.takeArrived();
    }

    ByteSource* open = nullptr; // the port's thread only: the connection, while it lasts

private:
    const std::string name_;
    TcpPortThread& owner_;
};

// Where the port hands each job, on the port's thread: the inbox answers the
// requests, the replies go out here and now, and the session's thread is
// told the rest in order.
class TcpPortThread::Feed : public ByteSink {
public:
    explicit Feed(TcpPortThread& owner)
        : owner_(owner)
    {
    }

    void sourceStarted(ByteSource& connection) override
    {
        job_ = std::make_shared<Connection>(connection.sourceName(), owner_);
        job_->open = &connection;
        owner_.toSession_.post([&owner = owner_, job = job_] {
            owner.current_ = job;
            owner.session_.sourceStarted(*job);
        });
    }
    void bytesArrived(std::string_view chunk, ByteSource& from) override
    {
        ArrivalInbox& inbox = owner_.session_.inbox();
        const ArrivalInbox::Received received = inbox.receive(job_.get(), chunk);
        if (!received.replies.empty())
            from.sendReply(received.replies);
        // The inbox says when the session must be called; the serial port,
        // which shares it, may have stopped before it hung up, so this
        // thread's own collecting is called too when it has stopped.
        bool call = !owner_.collecting_.exchange(true) || received.callSession;
        if (inbox.waitingBytes() >= kMostWaiting) {
            owner_.tcp_->holdReading(true);
            owner_.backedUp_.store(true);
            // Taken meanwhile, before the session could see it was held.
            if (inbox.waitingBytes() < kMostWaiting && owner_.backedUp_.exchange(false))
                owner_.toPort_->post([&owner = owner_] { owner.readOn(); });
            else
                call = true;
        }
        if (call)
            owner_.toSession_.post([&owner = owner_] { owner.collect(); });
    }
    void sourceStopped(ByteSource&, const std::string& why) override
    {
        job_->open = nullptr;
        owner_.toSession_.post([&owner = owner_, job = std::move(job_), why] {
            owner.session_.sourceStopped(*job, why);
            if (owner.current_ == job)
                owner.current_.reset();
        });
    }
    // The port ends the job in progress without telling.
    void portEnding()
    {
        if (job_)
            job_->open = nullptr;
        job_.reset();
    }

private:
    TcpPortThread& owner_;
    std::shared_ptr<Connection> job_;
};

TcpPortThread::TcpPortThread(CaptureSession& session, TcpJobLimits limits)
    : session_(session)
    , toPort_(std::make_unique<CallQueue>())
{
    thread_.setObjectName(QStringLiteral("tcp port"));
    toPort_->moveToThread(&thread_);
    feed_ = std::make_unique<Feed>(*this);
    collectTimer_.setSingleShot(true);
    connect(&collectTimer_, &QTimer::timeout, this, [this] { collectAgain(); });
    session_.addListener(*this);
    thread_.start();
    onPortThread([this, limits] {
        tcp_ = std::make_unique<TcpPrinterPort>(limits);
        tcp_->feed(feed_.get());
    });
}

TcpPortThread::~TcpPortThread()
{
    toPort_->post([this] {
        feed_->portEnding();
        tcp_.reset();
        thread_.quit();
    });
    thread_.wait();
    // What the port's thread said last, in order; the session then lets go
    // of a job still in progress, as it does of the port's own.
    toSession_.run();
    collectTimer_.stop();
    session_.removeListener(*this);
    if (current_)
        session_.detachSource(*current_);
    current_.reset();
}

void TcpPortThread::onPortThread(const std::function<void()>& call)
{
    std::promise<void> done;
    std::future<void> called = done.get_future();
    toPort_->post([&] {
        call();
        done.set_value();
    });
    called.wait();
}

bool TcpPortThread::listen(const ListenAddress& where, std::string& error)
{
    bool listening = false;
    onPortThread([&] {
        listening = tcp_->listen(where, error);
        listeningOn_ = tcp_->listeningOn();
        port_ = tcp_->port();
    });
    return listening;
}

void TcpPortThread::collect()
{
    session_.takeArrived();
    takenSoReadOn();
    collectTimer_.start(kCollectEveryMs);
}

void TcpPortThread::chunkTaken(std::string_view, ByteSource*) { takenSoReadOn(); }

void TcpPortThread::takenSoReadOn()
{
    if (backedUp_.exchange(false))
        toPort_->post([this] { readOn(); });
}

void TcpPortThread::readOn()
{
    if (tcp_)
        tcp_->holdReading(false);
}

void TcpPortThread::collectAgain()
{
    // Bytes still coming: take them and look again; otherwise the next
    // bytes call the session themselves.
    ArrivalInbox& inbox = session_.inbox();
    if (inbox.waiting() || !inbox.hangUp()) {
        collect();
        return;
    }
    collecting_.store(false);
}

} // namespace ostrel
