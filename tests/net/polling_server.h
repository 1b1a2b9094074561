#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ostrel::test {

// The server side a polling printer talks to, as a test writes it: each
// HTTP/1.1 request read whole (its body by Content-Length), answered by the
// test's handler, the connection closed after the answer.
class PollingServer : public QObject {
public:
    struct Request {
        QByteArray method;
        QUrl url; // path and query as sent
        std::map<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        std::string query(const QString& key) const; // decoded; "" when absent
        bool has(const QString& key) const;
    };
    struct Answer {
        int status = 200;
        QByteArray contentType = "application/json";
        std::vector<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QByteArray raw; // sent as it is instead, when set
        bool silent = false; // never answers
    };

    // With `tls`, HTTPS with the certificate of tests/net/fixtures, which
    // is its own CA: polling_server.crt.
    explicit PollingServer(std::function<Answer(const Request&)> handler, bool tls = false);
    static std::string certificateFile();
    QString url(const QString& path = "/cloudprnt") const;
    std::vector<Request> requests;

private:
    std::unique_ptr<QTcpServer> server_;
    std::function<Answer(const Request&)> handler_;
    bool tls_ = false;
};

// Runs the event loop until `done` holds, 20 s at most; whether it held.
bool RunUntil(const std::function<bool()>& done);

} // namespace ostrel::test
