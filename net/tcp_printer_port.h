#pragma once

#include "session/byte_source.h"
#include "net/listen_address.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace ostrel {

// One print job's connection as a byte source: replies go back on it.
class TcpConnection : public ByteSource {
public:
    // `peer` names the other end as it was when the connection was accepted.
    TcpConnection(QTcpSocket* socket, std::string peer);
    ~TcpConnection() override;

    std::string sourceName() const override { return name_; }
    void sendReply(std::string_view bytes) override;
    void deliverPending() override;

    QTcpSocket* socket() const { return socket_; }
    // Called once when the peer leaves more replies unread than a printer
    // would hold; the connection is then cut off.
    std::function<void()> repliesUnread;

private:
    QTcpSocket* socket_;
    std::string name_;
    bool cutOff_ = false;
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
// replies.
class TcpPrinterPort : public QObject {
    Q_OBJECT
public:
    explicit TcpPrinterPort(TcpJobLimits limits = {});
    ~TcpPrinterPort() override;

    // False, with a reason naming the address, when it cannot listen there.
    bool listen(const ListenAddress& where, std::string& error);
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

    // Where each job goes: started, its bytes, then stopped with the reason
    // (after the last bytes; the connection is gone after it). Null: nowhere.
    void feed(ByteSink* sink) { sink_ = sink; }

private:
    class Listener;
    void takeNextConnection();
    // Reads a slice of what waits, or with `all` everything.
    void readAvailable(bool all = false);
    static constexpr qint64 kReadSlice = 256 * 1024;
    void finish(const std::string& why);
    void endLater(QTcpSocket* socket, const std::string& why);

    ByteSink* sink_ = nullptr;
    std::unique_ptr<Listener> server_;
    std::unique_ptr<TcpConnection> current_;
    QTimer idle_;
    QTimer whole_;
    bool finishing_ = false;
    bool closed_ = false;
    std::vector<char> readBuffer_;
    bool readQueued_ = false; // a read of what is left waits in the event queue
};

} // namespace ostrel
