#include "net/http_poller.h"

#include "protocol/message_text.h"

#include <QFile>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QUrl>

#include <memory>

namespace ostrel {

std::string UrlForMessage(const std::string& url)
{
    const QUrl parsed(QString::fromStdString(url));
    if (!parsed.isValid() || parsed.password().isEmpty())
        return QuotedForMessage(url);
    return QuotedForMessage(parsed.toString(QUrl::RemovePassword).toStdString());
}

HttpPoller::HttpPoller(std::string name)
    : name_(std::move(name))
    , ssl_(QSslConfiguration::defaultConfiguration())
{
}

HttpPoller::~HttpPoller() { abandon(); }

bool HttpPoller::trustCaFile(const std::string& path, std::string& error)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read the CA file " + QuotedForMessage(path) + ": "
            + file.errorString().toStdString();
        return false;
    }
    // A bundle of certificates is small; a file far larger is not one.
    const QByteArray pem = file.read(16 << 20);
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certificates.isEmpty()) {
        error = "the CA file " + QuotedForMessage(path) + " holds no PEM certificate";
        return false;
    }
    ssl_.addCaCertificates(certificates);
    trusted_ = true;
    return true;
}

void HttpPoller::send(QNetworkRequest request, const QByteArray& verb, const QByteArray& body,
    long long most, std::chrono::milliseconds timeout, std::function<void(const Answer&)> done)
{
    if (trusted_)
        request.setSslConfiguration(ssl_);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    QNetworkReply* reply = manager_.sendCustomRequest(request, verb, body);
    // Qt holds no more than this unread, so a flood waits in the socket.
    reply->setReadBufferSize(64 << 10);
    auto answer = std::make_shared<Answer>();
    auto take = [reply, answer, most] {
        if (answer->tooLarge || !reply->isOpen())
            return;
        const QByteArray more = reply->read(reply->bytesAvailable());
        if (answer->body.size() + more.size() > most) {
            answer->tooLarge = true;
            reply->abort();
            return;
        }
        answer->body += more;
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, answer, most] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > most && !answer->tooLarge) {
            answer->tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QIODevice::readyRead, this, take);
    connect(reply, &QNetworkReply::finished, this,
        [reply, answer, most, timeout, take, done = std::move(done)] {
            take();
            reply->deleteLater();
            answer->reply = reply;
            answer->status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            answer->contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
            if (answer->tooLarge)
                answer->failure = "its answer is larger than " + std::to_string(most) + " bytes";
            else if (reply->error() == QNetworkReply::OperationCanceledError)
                answer->failure
                    = "no answer within " + std::to_string((timeout.count() + 999) / 1000) + " s";
            else if (reply->error() != QNetworkReply::NoError && answer->status == 0)
                answer->failure = reply->errorString().toStdString();
            done(*answer);
            answer->reply = nullptr;
        });
}

void HttpPoller::abandon()
{
    for (QNetworkReply* reply : manager_.findChildren<QNetworkReply*>(Qt::FindDirectChildrenOnly)) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void HttpPoller::trouble(const std::string& what)
{
    if (what == troubleSaid_)
        return;
    troubleSaid_ = what;
    if (said)
        said(name_ + ": " + what);
}

void HttpPoller::fine()
{
    if (troubleSaid_.empty())
        return;
    troubleSaid_.clear();
    if (said)
        said(name_ + ": the server answers again");
}

} // namespace ostrel
