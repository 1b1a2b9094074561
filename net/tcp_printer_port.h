#pragma once

#include "session/byte_source.h"
#include "net/listen_address.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace ostrel {

// One print job's connection as a byte source: replies go back on it.
class TcpConnection : public ByteSource {
public:
    explicit TcpConnection(QTcpSocket* socket);
    ~TcpConnection() override;

    std::string sourceName() const override { return name_; }
    void sendReply(std::string_view bytes) override;
    void deliverPending() override;

    QTcpSocket* socket() const { return socket_; }

private:
    QTcpSocket* socket_;
    std::string name_;
};

// A network printer's raw port (TCP 9100 and the like). It takes one
// connection at a time, as a printer does; later ones wait until the job in
// progress ends. Each connection is one job, ended by the peer closing, by the
// connection failing, or by sending nothing for the idle timeout.
class TcpPrinterPort : public QObject {
    Q_OBJECT
public:
    explicit TcpPrinterPort(std::chrono::milliseconds idleTimeout = std::chrono::seconds(30));
    ~TcpPrinterPort() override;

    // False, with a reason naming the address, when it cannot listen there.
    bool listen(const ListenAddress& where, std::string& error);
    // Where it listens, with the port it really got: "127.0.0.1:9100".
    std::string listeningOn() const;
    quint16 port() const { return server_.serverPort(); }

    // The connection whose job is in progress, or null. A job still in
    // progress when the port is destroyed ends without jobEnded.
    TcpConnection* current() const { return current_.get(); }
    // Stops listening; the job in progress goes on, and no other is taken.
    void close();
    // Ends the job in progress now (closing its connection).
    void endCurrentJob(const std::string& why);

    // Where each job goes: started, its bytes, then stopped with the reason
    // (after the last bytes; the connection is gone after it). Null: nowhere.
    void feed(ByteSink* sink) { sink_ = sink; }

private:
    void takeNextConnection();
    void readAvailable();
    void finish(const std::string& why);

    ByteSink* sink_ = nullptr;
    QTcpServer server_;
    std::unique_ptr<TcpConnection> current_;
    QTimer idle_;
    bool finishing_ = false;
    bool closed_ = false;
    std::vector<char> readBuffer_;
};

} // namespace ostrel
