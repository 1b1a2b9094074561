#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <map>
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

    explicit PollingServer(std::function<Answer(const Request&)> handler);
    QString url(const QString& path = "/cloudprnt") const;
    std::vector<Request> requests;

private:
    QTcpServer server_;
    std::function<Answer(const Request&)> handler_;
};

// Runs the event loop until `done` holds, 20 s at most; whether it held.
bool RunUntil(const std::function<bool()>& done);

} // namespace ostrel::test
