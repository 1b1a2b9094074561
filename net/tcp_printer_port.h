#pragma once

#include "net/listen_address.h"
#include "session/byte_source.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace ostrel {

// The other end of a connected socket: "127.0.0.1:41234", "[::1]:41234".
std::string PeerAddressOf(int descriptor);

// One print job's connection as a byte source: replies go back on it. It
// works on the bare descriptor, because a peer that has sent its job and shut
// its side (as nc -q1, socat and many drivers do) is still reading: its
// replies must go out after its end of file, which Qt's socket would have
// closed the connection on.
class TcpConnection : public ByteSource {
public:
    // Takes over the connected descriptor; `peer` names the other end as it
    // was when the connection was accepted.
    TcpConnection(int descriptor, std::string peer);
    ~TcpConnection() override;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    std::string sourceName() const override { return name_; }
    void sendReply(std::string_view bytes) override;
    void deliverPending() override;
    ReplyDelivery replyDelivery() const override { return { written_, failure_ }; }
    bool network() const override { return true; }

    // What one read found.
    enum class Read { Bytes, Nothing, Ended, Failed };
    // Reads at most `most` bytes into `into`, without waiting; `got` says how
    // many. Ended: the peer has sent all it will; Failed: `why` says why.
    Read read(char* into, std::size_t most, std::size_t& got, std::string& why);
    // Sends the replies still waiting, waiting at most `limit` for the peer
    // to take them; what it does not take by then is not sent.
    void flushReplies(std::chrono::milliseconds limit);
    // Stops reading and tells the peer nothing more will come.
    void shutDown();
    // Leaves what arrives in the system while held, so the peer's writes
    // block; reading on again at once when let go.
    void holdReading(bool held);

    // Called when there is something to read (or the end) and when bytes
    // are asked for at once.
    std::function<void()> readable;
    // Called once when the peer leaves more replies unread than a printer
    // would hold; the connection is then cut off.
    std::function<void()> repliesUnread;

private:
    void writeWaiting();
    void fail(const std::string& why);

    int fd_;
    std::string name_;
    QSocketNotifier reads_;
    QSocketNotifier writes_;
    std::string unsent_; // replies the system did not take yet, in order
    long long written_ = 0; // reply bytes the system took
    std::string failure_; // why no more replies go out
    bool readEnded_ = false; // the end or a failure was read: nothing more comes
};

// How long a network job may take: silent for `idle`, or in all for `whole`
// (zero: no limit on the whole).
struct TcpJobLimits {
    std::chrono::milliseconds idle = std::chrono::seconds(30);
    std::chrono::milliseconds whole = std::chrono::minutes(10);
};

// A network printer's raw port (TCP 9100 and the like). It takes one
// connection at a time, as a printer does; later ones wait, unread, until the
// job in progress ends, and are taken at once then, even those whose peer has
// sent its job and closed meanwhile. Each connection is one job, ended by the
// peer closing, by the connection failing, by sending nothing for the idle
// timeout, by lasting longer than the job timeout, or by not reading its
// replies. A waiting connection that has sent nothing for the idle timeout is
// closed where it waits, so idle peers cannot queue the printer to death, and
// one that has sent its job goes before those still silent.
class TcpPrinterPort : public QObject {
    Q_OBJECT
public:
    explicit TcpPrinterPort(TcpJobLimits limits = {});
    ~TcpPrinterPort() override;

    // False, with a reason naming the address, when it cannot listen there.
    bool listen(const ListenAddress& where, std::string& error);
    // As small a window as the system allows, so that a held job blocks its
    // sender soon, for a printer whose buffer counts every byte: gives how
    // much of a connection the system may still hold unread, part of that
    // buffer. For the connections taken from now.
    long long setLeastReceiveWindow();
    // Each read takes at most what `room` says, so that a job never fills
    // more than the printer's buffer; a job's end still reads what is left.
    void setReadRoom(std::function<std::size_t()> room) { readRoom_ = std::move(room); }
    // Where it listens, with the port it really got: "127.0.0.1:9100".
    std::string listeningOn() const;
    quint16 port() const;

    // The connection whose job is in progress, or null. A job still in
    // progress when the port is destroyed ends without sourceStopped.
    TcpConnection* current() const { return current_.get(); }
    // Stops listening and lets go of the connections waiting; the job in
    // progress goes on, and no other is taken.
    void close();
    // Ends the job in progress now (closing its connection).
    void endCurrentJob(const std::string& why);
    // Stops reading the job in progress, or reads on: the back-pressure of a
    // slow printer it forwards to, passed on to the program.
    void holdReading(bool held);

    // Where each job goes: started, its bytes, then stopped with the reason
    // (after the last bytes; the connection is gone after it). Null: nowhere.
    void feed(ByteSink* sink) { sink_ = sink; }

    // Connections that may wait their turn; more wait in the system's queue.
    static constexpr std::size_t kMostWaiting = 64;

private:
    class Listener;
    void takeNextConnection();
    // Reads a slice of what waits; the rest is read on the next turn of the
    // event loop. With `all`, everything up to a bound.
    void readAvailable(bool all = false);
    static constexpr std::size_t kReadSlice = 256 * 1024;
    void finish(const std::string& why);
    void endLater(const std::string& why);

    ByteSink* sink_ = nullptr;
    std::unique_ptr<Listener> server_;
    std::unique_ptr<TcpConnection> current_;
    std::chrono::milliseconds idleLimit_;
    QTimer idle_;
    QTimer whole_;
    QTimer sweep_; // closes waiting connections that stay silent
    bool finishing_ = false;
    bool closed_ = false;
    bool ending_ = false; // the end is queued; nothing more is read
    bool held_ = false; // holdReading
    unsigned long long jobNumber_ = 0; // counts the connections taken
    std::vector<char> readBuffer_;
    // A job ended whose connection its sink keeps open a while.
    std::unique_ptr<TcpConnection> lingering_;
    std::string lingerWhy_;
    void endLingering();
    std::function<std::size_t()> readRoom_;
};

} // namespace ostrel
