#pragma once

#include "net/listen_address.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QTcpServer;

namespace ostrel {

// How much a web till may send and how long it may take.
struct WebPrintLimits {
    long long mostBodyBytes = 16LL << 20;
    int mostHeaderBytes = 16 * 1024;
    std::size_t mostConnections = 32;
    int idleMs = 15'000; // silence while a request is unfinished, or between requests
    int requestMs = 60'000; // from a request's first byte to its last
};

// One HTTP request, whole.
struct WebPrintRequest {
    QByteArray method, path, query; // the target split at '?'
    std::map<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    std::string peer; // "127.0.0.1:41234"
    QByteArray header(const QByteArray& lowerName) const;
    // A parameter of the query, percent-decoded; empty when absent.
    QByteArray queryItem(const QByteArray& name) const;
};

struct WebPrintAnswer {
    int status = 200;
    QByteArray contentType = "text/xml; charset=utf-8";
    QByteArray body;
};

// The HTTP port that browser tills post print documents to (Epson's
// ePOS-Print, Star's WebPRNT), on its own port apart from the page's. It
// answers the browser's cross-origin checks itself: a preflight is allowed
// for the origins given (any when none), a request from another origin is
// refused with 403. Each path is a route; a route answers when it likes,
// the connection waiting for it.
class WebPrintPort : public QObject {
    Q_OBJECT
public:
    using Respond = std::function<void(WebPrintAnswer)>;
    using Handler = std::function<void(const WebPrintRequest&, Respond)>;

    explicit WebPrintPort(WebPrintLimits limits = {}, std::vector<std::string> origins = {});
    ~WebPrintPort() override;

    // A POST to this path (without its query) goes to the handler.
    void route(const QByteArray& path, Handler handler);

    // False, with a reason naming the address, when it cannot listen there.
    bool listen(const ListenAddress& where, std::string& error);
    std::string listeningOn() const;
    quint16 port() const;
    void close();
    std::size_t connections() const { return links_.size(); }
    // A request is being answered, or an answer has not all gone out yet:
    // the program waits for it before it ends.
    bool busy() const;
    // It was busy and is no more.
    std::function<void()> settled;

    // A line to say: a refused origin, a request it could not read.
    std::function<void(const std::string&)> said;

private:
    struct Link;
    void accepted();
    void readFrom(Link& link);
    void serve(Link& link, WebPrintRequest request, bool closeAfter);
    void send(
        Link& link, int status, const QByteArray& headers, const QByteArray& body, bool close);
    void refuse(Link& link, int status, const std::string& why);
    void drop(Link& link);
    void say(const std::string& line);
    bool originAllowed(const QByteArray& origin) const;
    void maybeSettled();

    WebPrintLimits limits_;
    std::vector<std::string> origins_;
    std::unique_ptr<QTcpServer> server_;
    std::map<QByteArray, Handler> routes_;
    std::vector<std::unique_ptr<Link>> links_;
    std::vector<QPointer<QTcpSocket>> closing_; // answered, their last bytes going out
    std::shared_ptr<bool> alive_;
};

} // namespace ostrel
