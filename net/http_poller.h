#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>
#include <QSslConfiguration>

#include <chrono>
#include <functional>
#include <string>

class QNetworkReply;

namespace ostrel {

// A server's URL as messages and job lines show it: a password in it left
// out, the rest quoted where it needs to be.
std::string UrlForMessage(const std::string& url);

// What a printer that polls a server over HTTP needs, whatever it speaks:
// requests trusting the CA file as well, answers read to a bound, and each
// trouble said once, when it starts, and once when it is over.
class HttpPoller : public QObject {
    Q_OBJECT
public:
    // `name` begins each line said: "cloudprnt http://host/poll".
    explicit HttpPoller(std::string name);
    ~HttpPoller() override;

    // Trusts the PEM certificates in `path` too; false with the reason.
    bool trustCaFile(const std::string& path, std::string& error);

    struct Answer {
        std::string
            failure; // why there is no answer (no server, a timeout, too large); empty: one came
        bool tooLarge = false;
        int status = 0; // the HTTP status
        QByteArray body;
        QByteArray contentType;
        QNetworkReply* reply = nullptr; // its headers, until `done` returns
    };
    // Sends `verb` with `body`; `done` gets the answer once, its body at most
    // `most` bytes (more is a failure), unless the poller is gone.
    void send(QNetworkRequest request, const QByteArray& verb, const QByteArray& body,
        long long most, std::chrono::milliseconds timeout, std::function<void(const Answer&)> done);
    // Ends what is on its way; no `done` is called for it.
    void abandon();

    // A trouble: said when it differs from the one said last.
    void trouble(const std::string& what);
    // All is well again: said once after a trouble.
    void fine();

    std::function<void(const std::string&)> said;
    const std::string& name() const { return name_; }

private:
    std::string name_;
    QNetworkAccessManager manager_;
    QSslConfiguration ssl_;
    bool trusted_ = false;
    std::string troubleSaid_;
};

} // namespace ostrel
