#include "net/lpd_port.h"

#include "protocol/message_text.h"

#include <QTcpServer>
#include <QTimer>

#include <algorithm>

namespace ostrel {

namespace {

    // Replies not taken by the peer at the end wait this long for it.
    constexpr std::chrono::milliseconds kReplyLinger(1000);
    // A turn of the event loop reads at most this much of one connection, so
    // one fast sender does not hold up the others.
    constexpr std::size_t kReadSlice = 256 * 1024;
    constexpr std::size_t kReadChunk = 64 * 1024;

} // namespace

// Hands over each connection as a bare descriptor: a peer that shuts its
// side after asking (as `nc -q1` does) still reads its answer.
class LpdPort::Listener : public QTcpServer {
public:
    explicit Listener(std::function<void(int)> arrived)
        : arrived_(std::move(arrived))
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override { arrived_(static_cast<int>(descriptor)); }

private:
    std::function<void(int)> arrived_;
};

struct LpdPort::Link {
    unsigned long long id = 0;
    std::string peer;
    std::unique_ptr<TcpConnection> connection;
    LpdConversation conversation;
    QTimer idle;
    QTimer whole;
    bool ended = false;
    explicit Link(LpdLimits limits)
        : conversation(limits)
    {
    }
};

LpdPort::LpdPort(LpdLimits limits, TcpJobLimits timing)
    : limits_(limits)
    , timing_(timing)
    , server_(std::make_unique<Listener>([this](int fd) { accepted(fd); }))
{
}

LpdPort::~LpdPort()
{
    // No callbacks from here: whoever set them may be half gone already.
    job = nullptr;
    answer = nullptr;
    said = nullptr;
    for (auto& link : links_) {
        link->connection->readable = nullptr;
        link->connection->repliesUnread = nullptr;
    }
}

bool LpdPort::listen(const ListenAddress& where, std::string& error)
{
    if (server_->listen(where.address, where.port))
        return true;
    error = "cannot listen on " + ListenAddressText(where.address, where.port)
        + " for LPD: " + server_->errorString().toStdString();
    return false;
}

std::string LpdPort::listeningOn() const
{
    return ListenAddressText(server_->serverAddress(), server_->serverPort());
}

quint16 LpdPort::port() const { return server_->serverPort(); }

void LpdPort::close()
{
    server_->close();
    for (auto& link : links_)
        finish(*link, false, "stopped");
}

void LpdPort::accepted(int descriptor)
{
    auto link = std::make_unique<Link>(limits_);
    Link& l = *link;
    l.id = ++nextId_;
    l.peer = PeerAddressOf(descriptor);
    l.connection = std::make_unique<TcpConnection>(descriptor, l.peer);
    l.connection->readable = [this, &l] { readFrom(l); };
    l.connection->repliesUnread = [this, &l] { finishLater(l, "replies not read"); };
    l.conversation.reply = [&l](std::string_view bytes) { l.connection->sendReply(bytes); };
    l.conversation.job = [this, &l](LpdJob data) {
        if (job)
            job(std::move(data), l.peer);
    };
    l.conversation.answer
        = [this](const LpdQuery& query) { return answer ? answer(query) : std::string(); };
    l.conversation.problem = [this, &l](const std::string& why) {
        if (said)
            said("lpd " + l.peer + ": " + why);
    };
    l.idle.setSingleShot(true);
    l.idle.setInterval(timing_.idle);
    connect(&l.idle, &QTimer::timeout, this, [this, &l] { finish(l, false, "idle timeout"); });
    l.whole.setSingleShot(true);
    l.whole.setInterval(timing_.whole);
    connect(&l.whole, &QTimer::timeout, this, [this, &l] { finish(l, false, "job timeout"); });
    l.idle.start();
    if (timing_.whole.count() > 0)
        l.whole.start();
    links_.push_back(std::move(link));
    if (links_.size() >= kMostConversations)
        server_->pauseAccepting();
    readFrom(l);
}

void LpdPort::readFrom(Link& link)
{
    std::size_t budget = kReadSlice;
    buffer_.resize(kReadChunk);
    while (!link.ended && budget > 0) {
        std::size_t got = 0;
        std::string why;
        const auto read
            = link.connection->read(buffer_.data(), std::min(budget, buffer_.size()), got, why);
        if (read == TcpConnection::Read::Nothing)
            return;
        if (read != TcpConnection::Read::Bytes)
            return finishLater(link, read == TcpConnection::Read::Ended ? std::string() : why);
        budget -= got;
        link.idle.start();
        link.conversation.take(std::string_view(buffer_.data(), got));
        if (link.conversation.over())
            return finishLater(link, "ended by the printer");
    }
}

void LpdPort::finishLater(Link& link, const std::string& why)
{
    // Never from inside the connection's own callbacks, which finishing
    // would destroy under them.
    link.connection->readable = nullptr;
    QMetaObject::invokeMethod(
        this,
        [this, id = link.id, why] {
            const auto it = std::find_if(
                links_.begin(), links_.end(), [id](const auto& l) { return l->id == id; });
            if (it != links_.end())
                finish(**it, why.empty(), why);
        },
        Qt::QueuedConnection);
}

void LpdPort::finish(Link& link, bool closedByPeer, const std::string& why)
{
    if (link.ended)
        return;
    link.ended = true;
    link.idle.stop();
    link.whole.stop();
    link.connection->readable = nullptr;
    link.connection->repliesUnread = nullptr;
    link.conversation.end(closedByPeer, why);
    link.connection->flushReplies(kReplyLinger);
    link.connection->shutDown();
    QMetaObject::invokeMethod(
        this,
        [this, id = link.id] {
            std::erase_if(links_, [id](const auto& l) { return l->id == id; });
            if (links_.size() < kMostConversations && server_->isListening())
                server_->resumeAccepting();
        },
        Qt::QueuedConnection);
}

std::string LpdQueueAnswer(const LpdQuery& query, const std::string& printer,
    const std::string& model, const PrinterState& state)
{
    const std::string queue = QuotedForMessage(query.queue);
    const std::string sensors = PrinterStateList(state);
    const std::string ready = state.isOffline() ? "not ready" : "ready";
    if (query.kind == LpdQuery::Remove)
        return queue + ": no entries to remove; each job prints as it comes\n";
    if (query.kind == LpdQuery::ShortState)
        return queue + ": " + ready + (sensors.empty() ? "" : " (" + sensors + ")")
            + "\nno entries\n";
    return "Printer: " + QuotedForMessage(printer) + " (" + QuotedForMessage(model) + "), queue "
        + queue + "\nState: " + ready + "\nSensors: " + (sensors.empty() ? "none" : sensors)
        + "\nEach job prints as it comes.\nno entries\n";
}

std::vector<std::pair<std::string, std::string>> LpdOrigin(const LpdJob& job)
{
    const LpdControlFile& control = job.control;
    std::vector<std::pair<std::string, std::string>> origin { { "lpd_queue", job.queue },
        { "lpd_job_name", control.jobName }, { "lpd_user", control.user },
        { "lpd_host", control.host } };
    const auto add = [&](const char* name, const std::string& value) {
        if (!value.empty())
            origin.emplace_back(name, value);
    };
    add("lpd_data_file", job.fileName);
    add("lpd_file_name", control.sourceName);
    add("lpd_title", control.title);
    add("lpd_class", control.className);
    for (const auto& [file, letter] : control.formats)
        if (file == job.fileName)
            add("lpd_format", std::string(1, letter));
    add("lpd_incomplete", job.incomplete);
    return origin;
}

} // namespace ostrel
