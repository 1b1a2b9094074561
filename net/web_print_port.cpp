#include "net/web_print_port.h"
#include "net/http_reason.h"

#include "protocol/message_text.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace ostrel {

namespace {

    constexpr std::size_t kMostHeaders = 100;

    // A header value echoed into an answer: only the characters a list of
    // header names has, so nothing the peer sent can end a line there.
    bool IsTokenList(const QByteArray& value)
    {
        return value.size() <= 1024 && std::all_of(value.begin(), value.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || c == '-' || c == '_' || c == ',' || c == ' ' || c == '.';
        });
    }

    bool IsPrintable(const QByteArray& value)
    {
        return value.size() <= 1024 && std::all_of(value.begin(), value.end(), [](char c) {
            return c >= 0x20 && c < 0x7F;
        });
    }

} // namespace

QByteArray WebPrintRequest::header(const QByteArray& lowerName) const
{
    auto at = headers.find(lowerName);
    return at == headers.end() ? QByteArray() : at->second;
}

QByteArray WebPrintRequest::queryItem(const QByteArray& name) const
{
    for (const QByteArray& pair : query.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray key = equals < 0 ? pair : pair.left(equals);
        if (QByteArray::fromPercentEncoding(QByteArray(key).replace('+', ' ')) == name)
            return equals < 0
                ? QByteArray()
                : QByteArray::fromPercentEncoding(pair.mid(equals + 1).replace('+', ' '));
    }
    return {};
}

struct WebPrintPort::Link {
    unsigned long long id = 0;
    std::string peer;
    QTcpSocket* socket = nullptr; // deleted later, as Qt wants of a socket in its own signal
    QByteArray buffer;
    QTimer idle, whole;
    bool waiting = false; // a route is answering
    bool reading = false;
    bool dead = false;
    bool continued = false; // "100 Continue" sent for the request in progress
    ~Link()
    {
        if (socket)
            socket->deleteLater();
    }
};

WebPrintPort::WebPrintPort(WebPrintLimits limits, std::vector<std::string> origins)
    : limits_(limits)
    , origins_(std::move(origins))
    , server_(std::make_unique<QTcpServer>())
    , alive_(std::make_shared<bool>(true))
{
    connect(server_.get(), &QTcpServer::newConnection, this, &WebPrintPort::accepted);
}

WebPrintPort::~WebPrintPort()
{
    said = nullptr;
    for (auto& link : links_)
        if (link->socket)
            link->socket->disconnect(this);
}

void WebPrintPort::route(const QByteArray& path, Handler handler)
{
    routes_[path] = std::move(handler);
}

bool WebPrintPort::listen(const ListenAddress& where, std::string& error)
{
    if (server_->listen(where.address, where.port))
        return true;
    error = "--web-print: cannot listen on " + ListenAddressText(where.address, where.port) + ": "
        + server_->errorString().toStdString();
    return false;
}

std::string WebPrintPort::listeningOn() const
{
    return ListenAddressText(server_->serverAddress(), server_->serverPort());
}

quint16 WebPrintPort::port() const { return server_->serverPort(); }

void WebPrintPort::close()
{
    server_->close();
    for (auto& link : links_)
        drop(*link);
}

void WebPrintPort::say(const std::string& line)
{
    if (said)
        said(line);
}

bool WebPrintPort::originAllowed(const QByteArray& origin) const
{
    if (origins_.empty())
        return true;
    return std::any_of(origins_.begin(), origins_.end(),
        [&](const std::string& allowed) { return origin == QByteArray::fromStdString(allowed); });
}

void WebPrintPort::accepted()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (links_.size() >= limits_.mostConnections) {
            // Answered, not read: the till learns it should come back.
            const QByteArray busy
                = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: "
                  "close\r\nRetry-After: 1\r\n\r\n";
            if (socket->write(busy) != busy.size())
                socket->abort();
            else
                socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
            continue;
        }
        static unsigned long long nextId = 0;
        auto link = std::make_unique<Link>();
        Link& l = *link;
        l.id = ++nextId;
        l.socket = socket;
        l.peer = ListenAddressText(socket->peerAddress(), socket->peerPort());
        // What waits while a route answers stays in the system's buffers.
        socket->setReadBufferSize(
            limits_.mostHeaderBytes + std::min<long long>(limits_.mostBodyBytes, 1 << 20));
        l.idle.setSingleShot(true);
        l.whole.setSingleShot(true);
        l.idle.setInterval(limits_.idleMs);
        l.whole.setInterval(limits_.requestMs);
        const unsigned long long id = l.id;
        auto find = [this, id]() -> Link* {
            for (auto& each : links_)
                if (each->id == id && !each->dead)
                    return each.get();
            return nullptr;
        };
        connect(&l.idle, &QTimer::timeout, this, [this, find] {
            if (Link* link = find()) {
                if (link->buffer.isEmpty())
                    drop(*link); // idle between requests: closed quietly
                else
                    refuse(*link, 408,
                        "sent nothing for " + std::to_string(limits_.idleMs / 1000) + " s");
            }
        });
        connect(&l.whole, &QTimer::timeout, this, [this, find] {
            if (Link* link = find())
                refuse(*link, 408,
                    "took longer than " + std::to_string(limits_.requestMs / 1000)
                        + " s to send a request");
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, find] {
            if (Link* link = find())
                readFrom(*link);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, find] {
            if (Link* link = find())
                drop(*link);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { maybeSettled(); });
        l.idle.start();
        links_.push_back(std::move(link));
        readFrom(l);
    }
}

void WebPrintPort::readFrom(Link& link)
{
    if (link.reading || link.dead)
        return;
    link.reading = true;
    while (!link.dead && !link.waiting) {
        // The buffer holds at most one whole request.
        const qsizetype room
            = limits_.mostHeaderBytes + 4 + limits_.mostBodyBytes - link.buffer.size();
        if (room > 0 && link.socket->bytesAvailable() > 0) {
            link.buffer += link.socket->read(room);
            link.idle.start();
            if (!link.whole.isActive())
                link.whole.start();
        }
        const qsizetype end = link.buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (link.buffer.size() > limits_.mostHeaderBytes)
                refuse(link, 431,
                    "sent a header larger than " + std::to_string(limits_.mostHeaderBytes)
                        + " bytes");
            break;
        }
        if (end > limits_.mostHeaderBytes) {
            refuse(link, 431,
                "sent a header larger than " + std::to_string(limits_.mostHeaderBytes) + " bytes");
            break;
        }
        WebPrintRequest request;
        request.peer = link.peer;
        const QList<QByteArray> lines = link.buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        if (first.size() != 3 || !first[2].startsWith("HTTP/1.")) {
            refuse(link, 400, "sent a request line that is not HTTP/1.x");
            break;
        }
        request.method = first[0];
        const QByteArray target = first[1];
        const qsizetype question = target.indexOf('?');
        request.path = question < 0 ? target : target.left(question);
        request.query = question < 0 ? QByteArray() : target.mid(question + 1);
        bool bad = lines.size() - 1 > static_cast<qsizetype>(kMostHeaders);
        for (qsizetype i = 1; i < lines.size() && !bad; ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                bad = true;
                break;
            }
            QByteArray& value = request.headers[line.left(colon).trimmed().toLower()];
            value += (value.isEmpty() ? "" : ", ") + line.mid(colon + 1).trimmed();
        }
        if (bad) {
            refuse(link, 400, "sent a header that cannot be read");
            break;
        }
        if (!request.header("transfer-encoding").isEmpty()) {
            refuse(link, 501, "sent a chunked body; only a Content-Length is taken");
            break;
        }
        long long length = 0;
        const QByteArray lengthText = request.header("content-length");
        if (!lengthText.isEmpty()) {
            bool ok = false;
            length = lengthText.toLongLong(&ok);
            if (!ok || length < 0 || lengthText.size() > 18) {
                refuse(link, 400, "sent a Content-Length that is not a number");
                break;
            }
        }
        if (length > limits_.mostBodyBytes) {
            refuse(link, 413,
                "sent a body of " + std::to_string(length) + " bytes, more than the "
                    + std::to_string(limits_.mostBodyBytes) + " taken");
            break;
        }
        if (link.buffer.size() < end + 4 + length) {
            if (!link.continued && request.header("expect").toLower() == "100-continue") {
                link.continued = true;
                const QByteArray go = "HTTP/1.1 100 Continue\r\n\r\n";
                if (link.socket->write(go) != go.size()) {
                    say("web-print: " + link.peer
                        + ": could not write: " + link.socket->errorString().toStdString());
                    drop(link);
                    break;
                }
            }
            // The body is read as it comes, up to its length.
            const qsizetype need = end + 4 + length - link.buffer.size();
            if (link.socket->bytesAvailable() > 0) {
                link.buffer += link.socket->read(need);
                continue;
            }
            break;
        }
        request.body = link.buffer.mid(end + 4, length);
        link.buffer.remove(0, end + 4 + length);
        link.continued = false;
        link.whole.stop();
        const bool closeAfter
            = first[2] == "HTTP/1.0" || request.header("connection").toLower() == "close";
        if (closeAfter)
            link.buffer.clear();
        serve(link, std::move(request), closeAfter);
    }
    link.reading = false;
}

void WebPrintPort::serve(Link& link, WebPrintRequest request, bool closeAfter)
{
    const QByteArray origin = request.header("origin");
    if (!origin.isEmpty() && !originAllowed(origin)) {
        say("web-print: refused " + link.peer + " " + QuotedForMessage(request.path.toStdString())
            + " from origin " + QuotedForMessage(origin.toStdString())
            + ": not one of --web-print-origin");
        send(link, 403, "Content-Type: text/plain; charset=utf-8\r\nVary: Origin\r\n",
            "this origin may not print here\n", closeAfter);
        return;
    }
    QByteArray cors = "Vary: Origin\r\n";
    if (!origin.isEmpty() && IsPrintable(origin))
        cors += "Access-Control-Allow-Origin: " + origin + "\r\n";
    if (request.method == "OPTIONS") {
        QByteArray headers = cors
            + "Access-Control-Allow-Methods: POST, OPTIONS\r\nAccess-Control-Max-Age: 600\r\n";
        const QByteArray asked = request.header("access-control-request-headers");
        if (!asked.isEmpty() && IsTokenList(asked))
            headers += "Access-Control-Allow-Headers: " + asked + "\r\n";
        if (request.header("access-control-request-private-network").toLower() == "true")
            headers += "Access-Control-Allow-Private-Network: true\r\n";
        headers += "Allow: POST, OPTIONS\r\n";
        send(link, 204, headers, {}, closeAfter);
        return;
    }
    auto route = routes_.find(request.path);
    if (route == routes_.end()) {
        send(link, 404, cors + "Content-Type: text/plain; charset=utf-8\r\n",
            "no print service at " + request.path.left(200).toPercentEncoding("/") + "\n",
            closeAfter);
        return;
    }
    if (request.method != "POST") {
        send(link, 405,
            cors + "Allow: POST, OPTIONS\r\nContent-Type: text/plain; charset=utf-8\r\n",
            "this print service takes POST\n", closeAfter);
        return;
    }
    link.waiting = true;
    link.idle.stop();
    const unsigned long long id = link.id;
    std::weak_ptr<bool> alive = alive_;
    route->second(request, [this, alive, id, cors, closeAfter](WebPrintAnswer answer) {
        if (alive.expired())
            return;
        Link* link = nullptr;
        for (auto& each : links_)
            if (each->id == id && !each->dead)
                link = each.get();
        if (!link)
            return; // the till went away first
        link->waiting = false;
        send(*link, answer.status, cors + "Content-Type: " + answer.contentType + "\r\n",
            answer.body, closeAfter);
        if (!link->dead) {
            link->idle.start();
            // What came while the route answered.
            QTimer::singleShot(0, this, [this, id] {
                for (auto& each : links_)
                    if (each->id == id && !each->dead)
                        readFrom(*each);
            });
        }
    });
}

void WebPrintPort::send(
    Link& link, int status, const QByteArray& headers, const QByteArray& body, bool close)
{
    if (link.dead)
        return;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " " + HttpReason(status) + "\r\n"
        + headers + "Cache-Control: no-store\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n" + (close ? "Connection: close\r\n" : "") + "\r\n" + body;
    if (link.socket->write(out) != out.size()) {
        say("web-print: " + link.peer
            + ": could not write the answer: " + link.socket->errorString().toStdString());
        drop(link);
        return;
    }
    if (close) {
        link.dead = true;
        link.idle.stop();
        link.whole.stop();
        link.socket->disconnectFromHost(); // after what is written has gone
        drop(link);
    }
}

void WebPrintPort::refuse(Link& link, int status, const std::string& why)
{
    say("web-print: " + link.peer + " " + why);
    send(link, status, "Content-Type: text/plain; charset=utf-8\r\n",
        QByteArray::fromStdString(why) + "\n", true);
}

bool WebPrintPort::busy() const
{
    for (const auto& link : links_)
        if (!link->dead && link->socket && (link->waiting || link->socket->bytesToWrite() > 0))
            return true;
    return std::any_of(closing_.begin(), closing_.end(), [](const QPointer<QTcpSocket>& socket) {
        return socket && socket->state() != QAbstractSocket::UnconnectedState;
    });
}

void WebPrintPort::maybeSettled()
{
    closing_.erase(std::remove_if(closing_.begin(), closing_.end(),
                       [](const QPointer<QTcpSocket>& socket) { return socket.isNull(); }),
        closing_.end());
    if (settled && !busy())
        settled();
}

void WebPrintPort::drop(Link& link)
{
    link.dead = true;
    link.idle.stop();
    link.whole.stop();
    if (link.socket) {
        link.socket->disconnect(this);
        if (link.socket->state() != QAbstractSocket::UnconnectedState
            && link.socket->state() != QAbstractSocket::ClosingState)
            link.socket->abort();
        // A closing socket is deleted once its last bytes have gone.
        if (link.socket->state() == QAbstractSocket::ClosingState) {
            connect(link.socket, &QTcpSocket::disconnected, link.socket, &QObject::deleteLater);
            connect(link.socket, &QObject::destroyed, this, [this] { maybeSettled(); });
            closing_.emplace_back(link.socket);
            QTimer::singleShot(limits_.idleMs, link.socket, &QObject::deleteLater);
            link.socket = nullptr;
        }
    }
    const unsigned long long id = link.id;
    QTimer::singleShot(0, this, [this, id] {
        links_.erase(std::remove_if(links_.begin(), links_.end(),
                         [id](const auto& each) { return each->id == id; }),
            links_.end());
    });
}

} // namespace ostrel
