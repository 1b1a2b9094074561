#include "tests/net/polling_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <memory>

namespace ostrel::test {

std::string PollingServer::Request::query(const QString& key) const
{
    return QUrlQuery(url).queryItemValue(key, QUrl::FullyDecoded).toStdString();
}

bool PollingServer::Request::has(const QString& key) const
{
    return QUrlQuery(url).hasQueryItem(key);
}

std::string PollingServer::certificateFile() { return OSTREL_NET_FIXTURES "/polling_server.crt"; }

PollingServer::PollingServer(std::function<Answer(const Request&)> handler, bool tls)
    : handler_(std::move(handler))
    , tls_(tls)
{
    if (tls) {
        auto server = std::make_unique<QSslServer>();
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(
            QSslCertificate::fromPath(QString::fromStdString(certificateFile())).value(0));
        QFile key(OSTREL_NET_FIXTURES "/polling_server.key");
        key.open(QIODevice::ReadOnly);
        configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
        server->setSslConfiguration(configuration);
        server_ = std::move(server);
    } else {
        server_ = std::make_unique<QTcpServer>();
    }
    server_->listen(QHostAddress::LocalHost);
    // An HTTPS connection is pending once its handshake is over.
    connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            auto got = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, got] {
                *got += socket->readAll();
                const qsizetype end = got->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                Request request;
                const QList<QByteArray> lines = got->left(end).split('\n');
                const QList<QByteArray> first = lines[0].trimmed().split(' ');
                request.method = first.value(0);
                request.url = QUrl::fromEncoded(first.value(1));
                for (qsizetype i = 1; i < lines.size(); ++i) {
                    const qsizetype colon = lines[i].indexOf(':');
                    if (colon > 0)
                        request.headers[lines[i].left(colon).trimmed().toLower()]
                            = lines[i].mid(colon + 1).trimmed();
                }
                const qsizetype length = request.headers.count("content-length")
                    ? request.headers["content-length"].toLongLong()
                    : 0;
                if (got->size() < end + 4 + length)
                    return;
                request.body = got->mid(end + 4, length);
                got->clear();
                requests.push_back(request);
                const Answer answer = handler_(request);
                if (answer.silent)
                    return;
                QByteArray out = answer.raw;
                if (out.isEmpty()) {
                    out = "HTTP/1.1 " + QByteArray::number(answer.status)
                        + " X\r\nContent-Type: " + answer.contentType + "\r\nContent-Length: "
                        + QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n";
                    for (const auto& [name, value] : answer.headers)
                        out += name + ": " + value + "\r\n";
                    out += "\r\n" + answer.body;
                }
                socket->write(out);
                socket->disconnectFromHost();
            });
        }
    });
}

QString PollingServer::url(const QString& path) const
{
    return (tls_ ? "https" : "http") + QString("://127.0.0.1:")
        + QString::number(server_->serverPort()) + path;
}

bool RunUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 20000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace ostrel::test
