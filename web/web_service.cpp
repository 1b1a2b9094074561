#include "web/web_service.h"
#include "net/http_reason.h"

#include "files/job_files.h"
#include "protocol/json_string.h"

#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QtEndian>

#include <algorithm>

// The page's files live in a static library's resources, which are
// registered by hand; outside any namespace, as the macro wants.
static void RegisterThePage() { Q_INIT_RESOURCE(page); }

namespace ostrel {
namespace {

    constexpr int kIdleMs = 30'000;
    // A request must come whole this soon after its first byte (or after the
    // connection, for the first one): else one trickled in a byte at a time
    // would hold its connection for as long as its sender likes.
    constexpr int kWholeRequestMs = 5'000;
    constexpr qint64 kFilePiece = 64 * 1024;
    const char* const kLiveClient = "ostrelLive";
    const char* const kAwaitingRequest = "ostrelAwaitingRequest";

    // Only the service's own scripts run; nothing is loaded from elsewhere.
    const std::vector<std::pair<QByteArray, QByteArray>> kSafetyHeaders = {
        { "Content-Security-Policy",
            "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
            "connect-src 'self'; "
            "base-uri 'none'; form-action 'none'; frame-ancestors 'none'" },
        { "X-Content-Type-Options", "nosniff" },
        { "X-Frame-Options", "DENY" },
        { "Referrer-Policy", "no-referrer" },
        { "Cache-Control", "no-store" },
    };

    std::string MethodName(QHttpServerRequest::Method method)
    {
        switch (method) {
        case QHttpServerRequest::Method::Get:
            return "GET";
        case QHttpServerRequest::Method::Head:
            return "HEAD";
        case QHttpServerRequest::Method::Put:
            return "PUT";
        case QHttpServerRequest::Method::Post:
            return "POST";
        case QHttpServerRequest::Method::Delete:
            return "DELETE";
        default:
            return "OTHER";
        }
    }

    // Text from a peer, shortened before it goes into a message.
    std::string Shown(const QByteArray& text)
    {
        return text.left(80).toStdString() + (text.size() > 80 ? "..." : "");
    }

    // A job's file, written a piece at a time as the client takes it, so that
    // a slow client holds no more than a piece.
    class FileSender : public QObject {
    public:
        FileSender(QTcpSocket* socket, std::unique_ptr<QFile> file)
            : QObject(socket)
            , socket_(socket)
            , file_(std::move(file))
        {
            connect(socket, &QTcpSocket::bytesWritten, this, [this] { more(); });
            more();
        }

    private:
        void more()
        {
            while (socket_->bytesToWrite() < kFilePiece && !file_->atEnd()) {
                const QByteArray piece = file_->read(kFilePiece);
                if (piece.isEmpty()) {
                    socket_
                        ->abort(); // the file failed under us: the length promised cannot be kept
                    return;
                }
                socket_->write(piece);
            }
            if (file_->atEnd())
                deleteLater();
        }
        QTcpSocket* socket_;
        std::unique_ptr<QFile> file_;
    };

    // A response's head, the safety headers on every one; a length of -1 for
    // a stream that has none.
    QByteArray Head(int status, const QByteArray& type, qint64 length,
        const std::vector<std::pair<QByteArray, QByteArray>>& extra = {})
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " " + HttpReason(status)
            + "\r\nContent-Type: " + type + "\r\n";
        if (length >= 0)
            head += "Content-Length: " + QByteArray::number(length) + "\r\n";
        for (const auto& [name, value] : kSafetyHeaders)
            head += name + ": " + value + "\r\n";
        for (const auto& [name, value] : extra)
            head += name + ": " + value + "\r\n";
        return head + "\r\n";
    }

    // The whole response with its length; an answer that comes later (a
    // drawing) is written the same way.
    void Respond(QTcpSocket* socket, bool headOnly, int status, const QByteArray& type,
        const QByteArray& body, const std::vector<std::pair<QByteArray, QByteArray>>& extra = {})
    {
        socket->write(Head(status, type, body.size(), extra));
        if (!headOnly)
            socket->write(body);
    }

    QByteArray ErrorBody(const std::string& message)
    {
        return QByteArray::fromStdString("{\"error\":" + JsonString(message) + "}\n");
    }

    // A drawing's name among those kept: "7.png", "7.png?piece=2", "7.pieces".
    std::string DrawingKey(const std::string& job, const std::string& kind, int piece)
    {
        return job + "." + kind + (piece > 1 ? "?piece=" + std::to_string(piece) : "");
    }

    // The size of a PNG and the row where it goes among the receipts stacked
    // as one (the text ostrel-replay's renderer writes as kSheetTopKey; 0 when
    // none), read from its chunks without decoding it.
    bool PngFacts(const QByteArray& png, int& width, int& height, int& top)
    {
        static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
        static const QByteArray topKey("Top", 4); // with the NUL that ends a keyword
        if (!png.startsWith(signature))
            return false;
        width = height = top = 0;
        for (qsizetype at = 8; at + 12 <= png.size();) {
            const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
            if (length > static_cast<quint64>(png.size() - at - 12))
                return false;
            const QByteArray type = png.mid(at + 4, 4), data = png.mid(at + 8, length);
            if (type == "IHDR" && data.size() >= 8) {
                width = qFromBigEndian<qint32>(data.constData());
                height = qFromBigEndian<qint32>(data.constData() + 4);
            } else if (type == "tEXt" && data.startsWith(topKey)) {
                top = data.mid(topKey.size()).toInt();
            } else if (type == "IDAT") {
                break;
            }
            at += 12 + static_cast<qsizetype>(length);
        }
        return width > 0 && height > 0;
    }

    // Still sending a request, nothing owed to it: a live page and a download
    // under way are never let go for want of a request.
    bool AwaitingRequest(const QTcpSocket* socket)
    {
        return socket->property(kAwaitingRequest).toBool()
            && !socket->property(kLiveClient).toBool() && socket->bytesToWrite() == 0;
    }

} // namespace

// Takes the connections for Qt's server, a bounded number of them, each
// bounded in what it may send, in how long it may say nothing and in how
// long a request may take to come.
class WebService::Listener : public QTcpServer {
public:
    explicit Listener(QObject* parent)
        : QTcpServer(parent)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        // Taken even when refused, so that refusing closes it.
        if (!socket->setSocketDescriptor(descriptor)
            || (static_cast<int>(open_.size()) >= kMostConnections && !makeRoom())) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        open_.push_back(socket);
        connect(socket, &QObject::destroyed, this, [this, socket] { std::erase(open_, socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->start(kIdleMs);
        connect(idle, &QTimer::timeout, socket, [socket] {
            if (!socket->property(kLiveClient).toBool())
                socket->disconnectFromHost();
        });
        auto* whole = new QTimer(socket);
        whole->setSingleShot(true);
        whole->start(kWholeRequestMs);
        socket->setProperty(kAwaitingRequest, true);
        connect(whole, &QTimer::timeout, socket, [socket] {
            if (!AwaitingRequest(socket))
                return;
            Respond(socket, false, 408, "application/json",
                ErrorBody("the request did not come whole within "
                    + std::to_string(kWholeRequestMs / 1000) + " s"));
            socket->disconnectFromHost();
        });
        // Connected before Qt's own reader, so it counts each piece first;
        // the first byte after a request answered starts the next one.
        connect(socket, &QTcpSocket::readyRead, socket, [socket, idle, whole] {
            const qint64 sent
                = socket->property("ostrelSent").toLongLong() + socket->bytesAvailable();
            socket->setProperty("ostrelSent", sent);
            idle->start(kIdleMs);
            if (!socket->property(kAwaitingRequest).toBool()) {
                socket->setProperty(kAwaitingRequest, true);
                whole->start(kWholeRequestMs);
            }
            if (sent > kMostRequestBytes)
                socket->abort();
        });
        addPendingConnection(socket);
    }

private:
    // All taken: the oldest connection still sending its request goes.
    bool makeRoom()
    {
        const auto oldest = std::find_if(open_.begin(), open_.end(), AwaitingRequest);
        if (oldest == open_.end())
            return false;
        QTcpSocket* const socket = *oldest;
        open_.erase(oldest);
        socket->abort();
        return true;
    }

    std::vector<QTcpSocket*> open_; // oldest first
};

WebService::WebService(WebRules rules, std::vector<WebSources> printers)
    : rules_(std::move(rules))
    , listener_(new Listener(this))
{
    RegisterThePage();
    for (WebSources& sources : printers)
        printers_.push_back({ std::move(sources), {}, 0 });
    if (printers_.empty())
        printers_.emplace_back();
}

WebService::~WebService() = default;

bool WebService::listen(const ListenAddress& where, std::string& error)
{
    if (!listener_->listen(where.address, where.port)) {
        error = "--http: cannot listen on " + ListenAddressText(where.address, where.port) + ": "
            + listener_->errorString().toStdString();
        return false;
    }
    rules_.port = listener_->serverPort();
    bind(listener_);
    return true;
}

std::string WebService::listeningOn() const
{
    return ListenAddressText(listener_->serverAddress(), listener_->serverPort());
}

void WebService::answer(const QHttpServerRequest& request, QTcpSocket* socket, int status,
    const QByteArray& type, const QByteArray& body,
    const std::vector<std::pair<QByteArray, QByteArray>>& extra)
{
    Respond(
        socket, request.method() == QHttpServerRequest::Method::Head, status, type, body, extra);
}

void WebService::error(
    const QHttpServerRequest& request, QTcpSocket* socket, int status, const std::string& message)
{
    answer(request, socket, status, "application/json", ErrorBody(message));
}

bool WebService::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    socket->setProperty(kAwaitingRequest, false); // it came whole
    const std::string path = request.url().path().toStdString();
    const std::string method = MethodName(request.method());
    const WebVerdict verdict = CheckWebRequest(rules_,
        { method, path, request.value("Host").toStdString(), request.value("Origin").toStdString(),
            request.value("Content-Type").toStdString(),
            request.value("Authorization").toStdString(), request.value("Cookie").toStdString() });
    if (verdict.status != 0) {
        error(request, socket, verdict.status, verdict.message);
        return true;
    }
    const bool read = method == "GET" || method == "HEAD";
    const auto page = [&](const char* resource, const QByteArray& type) {
        QFile file(QString::fromLatin1(resource));
        if (!file.open(QIODevice::ReadOnly))
            return error(request, socket, 500,
                std::string("the page's ") + resource + " is missing from the program");
        answer(request, socket, 200, type, file.readAll());
    };
    if (read && (path == "/" || path == "/index.html"))
        page(":/web/index.html", "text/html; charset=utf-8");
    else if (read && path == "/app.js")
        page(":/web/app.js", "text/javascript; charset=utf-8");
    else if (read && path == "/style.css")
        page(":/web/style.css", "text/css; charset=utf-8");
    else if (read && path == "/api/printers")
        answer(request, socket, 200, "application/json",
            QByteArray::fromStdString(printersJson() + "\n"));
    else if (method == "POST" && path == "/api/login")
        login(request, socket);
    else if (method == "GET" && path == "/api/events")
        goLive(request, socket, nullptr); // every printer's, each event naming its own
    else if (path.starts_with("/api/printers/")) {
        const std::string rest = path.substr(14);
        const std::size_t slash = rest.find('/');
        const std::string name = rest.substr(0, slash);
        Printer* const printer = named(name);
        if (!printer)
            return error(request, socket, 404,
                       "no printer is named " + JsonString(Shown(QByteArray::fromStdString(name)))
                           + "; /api/printers lists them"),
                   true;
        const std::string below = slash == std::string::npos ? "/" : rest.substr(slash);
        if (below == "/") {
            if (!read)
                return error(request, socket, 405,
                           method + " is not taken by " + Shown(QByteArray::fromStdString(path))),
                       true;
            return answer(request, socket, 200, "application/json",
                       QByteArray::fromStdString(printerJson(*printer) + "\n")),
                   true;
        }
        if (!printerRequest(
                request, socket, { *printer, "/api/printers/" + printer->sources.name }, below))
            error(request, socket, 404,
                "no such API of a printer: " + Shown(request.url().path().toUtf8()));
    } else if (path == "/api/login" || path == "/api/events" || path == "/api/printers"
        || path == "/") {
        error(request, socket, 405,
            method + " is not taken by " + Shown(QByteArray::fromStdString(path)));
    } else if (!path.starts_with("/api/")
        || !printerRequest(request, socket, { printers_.front(), "/api" }, path.substr(4))) {
        error(request, socket, 404, "no such page or API: " + Shown(request.url().path().toUtf8()));
    }
    return true;
}

WebService::Printer* WebService::named(const std::string& name)
{
    for (Printer& printer : printers_)
        if (printer.sources.name == name)
            return &printer;
    return nullptr;
}

// One printer's API, under /api/ for the first and /api/printers/NAME/ for
// each.
bool WebService::printerRequest(
    const QHttpServerRequest& request, QTcpSocket* socket, const Asked& at, const std::string& path)
{
    const std::string method = MethodName(request.method());
    const bool read = method == "GET" || method == "HEAD";
    Printer& printer = at.printer;
    if (read && path == "/jobs") {
        std::string list = "[";
        for (const std::string& line : printer.jobs)
            list += (list.size() > 1 ? "," : "") + line;
        answer(request, socket, 200, "application/json", QByteArray::fromStdString(list + "]\n"));
    } else if (read && path == "/jobs/latest") {
        if (printer.jobs.empty())
            return error(request, socket, 404, "no job has ended yet"), true;
        answer(request, socket, 200, "application/json",
            QByteArray::fromStdString(printer.jobs.back() + "\n"));
    } else if (read && path.starts_with("/compare/")) {
        const std::string pair = path.substr(9);
        const auto slash = pair.find('/');
        const std::string a = pair.substr(0, slash),
                          b = slash == std::string::npos ? "" : pair.substr(slash + 1);
        const auto number = [](const std::string& n) {
            return !n.empty() && n.size() <= 9
                && std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; });
        };
        if (!number(a) || !number(b))
            return error(request, socket, 404,
                       "two jobs are compared as " + at.prefix + "/compare/A/B"),
                   true;
        if (printer.sources.outFolder.empty())
            return error(request, socket, 404, "the jobs' files are kept only with --out"), true;
        compare(request, socket, at, a, b);
    } else if (read && path.starts_with("/jobs/")) {
        jobFile(request, socket, at, path.substr(6));
    } else if (read && path == "/state") {
        answer(request, socket, 200, "application/json",
            QByteArray::fromStdString(stateJson(printer) + "\n"));
    } else if (method == "PUT" && path == "/state") {
        putState(request, socket, printer);
    } else if ((read || method == "DELETE") && path == "/memory") {
        memory(request, socket, printer);
    } else if (method == "GET" && path == "/events") {
        goLive(request, socket, &printer);
    } else if (path == "/state" || path == "/memory" || path == "/events"
        || path.starts_with("/jobs") || path.starts_with("/compare")) {
        error(request, socket, 405,
            method + " is not taken by " + Shown(QByteArray::fromStdString(at.prefix + path)));
    } else {
        return false;
    }
    return true;
}

void WebService::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    error(request, socket, 404, "no such page or API");
}

// "7.bin", "7.txt", "7.json": only a job's own files, only from --out.
void WebService::jobFile(
    const QHttpServerRequest& request, QTcpSocket* socket, const Asked& at, const std::string& name)
{
    const auto dot = name.find('.');
    const std::string number = name.substr(0, dot),
                      kind = dot == std::string::npos ? "" : name.substr(dot + 1);
    const bool digits = !number.empty() && number.size() <= 9
        && std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits
        || (kind != "bin" && kind != "txt" && kind != "json" && kind != "png" && kind != "pdf"
            && kind != "report" && kind != "commands" && kind != "pieces"))
        return error(request, socket, 404,
            "a job's file is " + at.prefix
                + "/jobs/N.bin, .txt, .json, .png, .pdf, .report, .commands or .pieces, not "
                + Shown(QByteArray::fromStdString(name)));
    // A receipt too long for one image comes in pieces, .pieces lists them.
    int piece = 1;
    const QUrlQuery query(request.url());
    if (query.hasQueryItem(QStringLiteral("piece"))) {
        const QString asked = query.queryItemValue(QStringLiteral("piece"));
        bool number = false;
        piece = asked.toInt(&number);
        if (kind != "png" || !number || piece < 1 || asked.size() > 4)
            return error(request, socket, 404,
                "a piece of a long receipt is " + at.prefix
                    + "/jobs/N.png?piece=K, K from 1 to "
                      "the count "
                    + at.prefix + "/jobs/N.pieces lists, not " + Shown(asked.toUtf8()));
    }
    if (at.printer.sources.outFolder.empty())
        return error(request, socket, 404, "the jobs' files are kept only with --out");
    if (kind == "png" || kind == "pdf" || kind == "report" || kind == "commands"
        || kind == "pieces")
        return replayed(request, socket, at, number, kind, piece);
    auto file = std::make_unique<QFile>(QString::fromStdString(
        at.printer.sources.outFolder + "/" + JobBaseName(std::stoll(number)) + "." + kind));
    if (!file->open(QIODevice::ReadOnly))
        return error(request, socket, 404,
            "job " + number + " has no ." + kind
                + " in the --out folder: " + file->errorString().toStdString());
    const QByteArray type = kind == "json" ? "application/json"
        : kind == "txt"                    ? "text/plain; charset=windows-1252"
                                           : "application/octet-stream";
    // The header now, with the file's length; the file a piece at a time.
    const QByteArray saved
        = QByteArray::fromStdString(JobBaseName(std::stoll(number)) + "." + kind);
    socket->write(Head(200, type, file->size(),
        { { "Content-Disposition", "attachment; filename=\"" + saved + "\"" } }));
    if (request.method() != QHttpServerRequest::Method::Head)
        new FileSender(socket, std::move(file));
}

// ostrel-replay on a saved job, in a process of its own, at most a few at a
// time and for at most 30 s; `done` gets its exit status, standard output
// and the folder of the files it wrote, when its client is still there to
// answer.
void WebService::replay(const QHttpServerRequest& request, QTcpSocket* socket,
    QStringList arguments, const QString& file, ReplayDone done)
{
    if (replaying_ >= kMostReplays) {
        // Its turn comes when one running ends, if its client is still there.
        if (waitingReplays_.size() >= kMostWaitingReplays)
            return error(
                request, socket, 503, "busy drawing other receipts; ask again in a moment");
        QPointer<QTcpSocket> client(socket);
        const bool headOnly = request.method() == QHttpServerRequest::Method::Head;
        waitingReplays_.push_back([this, client, headOnly, arguments, file, done] {
            if (client)
                start(client, headOnly, arguments, file, done);
        });
        return;
    }
    start(socket, request.method() == QHttpServerRequest::Method::Head, std::move(arguments), file,
        std::move(done));
}

void WebService::start(
    QTcpSocket* socket, bool, QStringList arguments, const QString& file, ReplayDone done)
{
    auto* folder = new QTemporaryDir();
    for (QString& argument : arguments)
        argument.replace(QStringLiteral("%OUT%"), folder->filePath(file));
    auto* process = new QProcess(this);
    ++replaying_;
    QPointer<QTcpSocket> client(socket);
    connect(process, &QProcess::finished, this, [this, process, folder, client, done](int status) {
        --replaying_;
        if (client)
            done(client, status, process->readAllStandardOutput().left(1 << 20), folder->path());
        process->deleteLater();
        delete folder;
        while (!waitingReplays_.empty() && replaying_ < kMostReplays) {
            const std::function<void()> next = std::move(waitingReplays_.front());
            waitingReplays_.pop_front();
            next();
        }
    });
    QTimer::singleShot(30'000, process, [process] { process->kill(); });
    process->start(QString::fromStdString(printers_.front().sources.replayProgram), arguments);
}

QString WebService::savedJob(const Printer& printer, const std::string& number)
{
    return QString::fromStdString(
        printer.sources.outFolder + "/" + JobBaseName(std::stoll(number)) + ".bin");
}

// The receipt drawn (PNG, PDF) or the printer model's report, by the same
// renderer as ostrel-replay.
void WebService::replayed(const QHttpServerRequest& request, QTcpSocket* socket, const Asked& at,
    const std::string& job, const std::string& kind, int piece)
{
    const WebSources& sources = at.printer.sources;
    if (!QFile::exists(savedJob(at.printer, job)))
        return error(request, socket, 404, "job " + job + " has no .bin in the --out folder");
    const bool preview = kind == "png" || kind == "pdf" || kind == "pieces";
    const QString file = !preview ? QString::fromStdString(kind) + QStringLiteral(".json")
        : kind == "pdf"           ? QStringLiteral("receipt.pdf")
                                  : QStringLiteral("receipt.png");
    const QByteArray type = kind == "png" ? "image/png"
        : kind == "pdf"                   ? "application/pdf"
                                          : "application/json";
    const bool headOnly = request.method() == QHttpServerRequest::Method::Head;
    const std::string key = DrawingKey(job, kind, piece);
    for (const auto& [made, bytes] : drawn_)
        if (made == keptAs(at, key))
            return Respond(socket, headOnly, 200, type, bytes);
    QStringList arguments { QStringLiteral("--printer"), QString::fromStdString(sources.printer),
        preview ? QStringLiteral("--preview") : QStringLiteral("--") + QString::fromStdString(kind),
        QStringLiteral("%OUT%"), QStringLiteral("--log"), QStringLiteral("%OUT%.log"),
        savedJob(at.printer, job) };
    // A stored logo prints from the printer's memory.
    if (const std::string folder = sources.memory.folder ? sources.memory.folder() : "";
        !folder.empty())
        arguments << QStringLiteral("--memory") << QString::fromStdString(folder);
    replay(request, socket, std::move(arguments), file,
        [this, at, key, type, headOnly, job, kind, piece, file](
            QTcpSocket* client, int status, const QByteArray&, const QString& folder) {
            if (status == 0 && (kind == "png" || kind == "pieces"))
                return piecesDrawn(client, headOnly, at, job, kind, piece, folder);
            QFile written(folder + QLatin1Char('/') + file);
            const QByteArray bytes = status == 0 && written.open(QIODevice::ReadOnly)
                ? written.readAll()
                : QByteArray();
            if (bytes.isEmpty())
                return Respond(client, headOnly, 500, "application/json",
                    ErrorBody("job " + job + " could not be drawn"));
            keepDrawing(at, key, bytes);
            Respond(client, headOnly, 200, type, bytes);
        });
}

// The receipts drawn as one image or, too long for one, as pieces a sheet
// tall each (receipt-001.png...): all are kept as they are read, one at a
// time, and the one asked for or the list of them answers.
void WebService::piecesDrawn(QTcpSocket* client, bool headOnly, const Asked& at,
    const std::string& job, const std::string& kind, int piece, const QString& folder)
{
    const QDir drawn(folder);
    const QStringList names = drawn.exists(QStringLiteral("receipt.png"))
        ? QStringList { QStringLiteral("receipt.png") }
        : drawn.entryList({ QStringLiteral("receipt-*.png") }, QDir::Files, QDir::Name);
    if (names.isEmpty())
        return Respond(client, headOnly, 500, "application/json",
            ErrorBody("job " + job + " could not be drawn"));
    std::string list;
    QByteArray asked;
    for (int k = 1; k <= names.size(); ++k) {
        QFile file(drawn.filePath(names[k - 1]));
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        int width = 0, height = 0, top = 0;
        if (!PngFacts(bytes, width, height, top))
            return Respond(client, headOnly, 500, "application/json",
                ErrorBody("job " + job + " could not be drawn: " + names[k - 1].toStdString()
                    + " is not a PNG"));
        list += std::string(k > 1 ? "," : "")
            + "{\"url\":" + JsonString(at.prefix + "/jobs/" + DrawingKey(job, "png", k))
            + ",\"top\":" + std::to_string(top) + ",\"width\":" + std::to_string(width)
            + ",\"height\":" + std::to_string(height) + "}";
        keepDrawing(at, DrawingKey(job, "png", k), bytes);
        if (k == piece)
            asked = bytes;
    }
    const QByteArray listing = QByteArray::fromStdString("{\"pieces\":[" + list + "]}\n");
    keepDrawing(at, DrawingKey(job, "pieces", 1), listing);
    if (kind == "pieces")
        return Respond(client, headOnly, 200, "application/json", listing);
    if (asked.isEmpty())
        return Respond(client, headOnly, 404, "application/json",
            ErrorBody("job " + job + "'s receipts are drawn in " + std::to_string(names.size())
                + (names.size() == 1 ? " piece" : " pieces") + ", not " + std::to_string(piece)));
    Respond(client, headOnly, 200, "image/png", asked);
}

std::string WebService::keptAs(const Asked& at, const std::string& key)
{
    const WebMemory& memory = at.printer.sources.memory;
    const std::string url = at.prefix + "/jobs/" + key; // the pieces listed name it
    return memory.revision ? url + "@" + std::to_string(memory.revision()) : url;
}

void WebService::keepDrawing(const Asked& at, const std::string& drawing, const QByteArray& bytes)
{
    const std::string key = keptAs(at, drawing);
    if (bytes.size() >= (4 << 20)
        || std::any_of(
            drawn_.begin(), drawn_.end(), [&](const auto& drawn) { return drawn.first == key; }))
        return;
    drawn_.emplace_back(key, bytes);
    drawnBytes_ += bytes.size();
    while (drawn_.size() > kDrawingsKept || drawnBytes_ > kDrawingBytesKept) {
        drawnBytes_ -= drawn_.front().second.size();
        drawn_.pop_front();
    }
}

// Two jobs compared command by command, as ostrel-replay --compare does.
void WebService::compare(const QHttpServerRequest& request, QTcpSocket* socket, const Asked& at,
    const std::string& a, const std::string& b)
{
    for (const std::string& job : { a, b })
        if (!QFile::exists(savedJob(at.printer, job)))
            return error(request, socket, 404, "job " + job + " has no .bin in the --out folder");
    replay(request, socket,
        { QStringLiteral("--printer"), QString::fromStdString(at.printer.sources.printer),
            QStringLiteral("--compare"), savedJob(at.printer, a), savedJob(at.printer, b) },
        QStringLiteral("none"),
        [a, b](QTcpSocket* client, int status, const QByteArray& out, const QString&) {
            if (status != 0 && status != 3)
                return Respond(client, false, 500, "application/json",
                    ErrorBody("jobs " + a + " and " + b + " could not be compared"));
            Respond(client, false, 200, "application/json",
                QByteArray::fromStdString("{\"a\":" + a + ",\"b\":" + b
                    + ",\"same\":" + (status == 0 ? "true" : "false")
                    + ",\"differences\":" + JsonString(out.toStdString()) + "}\n"));
        });
}

std::string WebService::flagsJson(const PrinterState& state)
{
    std::string json = "{";
    for (const PrinterStateName& name : PrinterStateNames())
        json += (json.size() > 1 ? "," : "") + JsonString(name.name) + ":"
            + (state.*name.field ? "true" : "false");
    return json + "}";
}

// The state and the model; the name tells whose, on a stream of many.
std::string WebService::stateJson(const Printer& printer)
{
    const WebSources& sources = printer.sources;
    std::string flags = flagsJson(sources.state ? sources.state() : PrinterState {});
    flags.pop_back();
    return flags + ",\"printer\":" + JsonString(sources.printer)
        + ",\"printer_name\":" + JsonString(sources.name) + "}";
}

std::string WebService::printerJson(const Printer& printer)
{
    const WebSources& sources = printer.sources;
    return "{\"name\":" + JsonString(sources.name) + ",\"printer\":" + JsonString(sources.printer)
        + ",\"where\":" + JsonString(sources.where)
        + ",\"jobs\":" + std::to_string(printer.finished)
        + ",\"state\":" + flagsJson(sources.state ? sources.state() : PrinterState {}) + "}";
}

std::string WebService::printersJson() const
{
    std::string list = "[";
    for (const Printer& printer : printers_)
        list += (list.size() > 1 ? "," : "") + printerJson(printer);
    return list + "]";
}

// {"paper-out": true}: the names --state takes, each true or false; the
// others stay as they are.
void WebService::putState(const QHttpServerRequest& request, QTcpSocket* socket, Printer& printer)
{
    const WebSources& sources = printer.sources;
    QJsonParseError parsed {};
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return error(
            request, socket, 400, "the state is a JSON object such as {\"paper-out\": true}");
    PrinterState state = sources.state ? sources.state() : PrinterState {};
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string key = it.key().left(80).toStdString();
        if (key == "printer") {
            if (it.value().toString().toStdString() != sources.printer)
                return error(request, socket, 409,
                    "the printer model is chosen at start (--printer); it is " + sources.printer);
            continue;
        }
        if (key == "printer_name") {
            if (it.value().toString().toStdString() != sources.name)
                return error(request, socket, 409,
                    "this is the printer " + JsonString(sources.name)
                        + "; its name is given at start");
            continue;
        }
        const auto& names = PrinterStateNames();
        const auto known = std::find_if(
            names.begin(), names.end(), [&](const PrinterStateName& n) { return key == n.name; });
        if (known == names.end())
            return error(request, socket, 400,
                "\"" + key
                    + "\" is not a state; the states are those --state takes, such as paper-out");
        if (!it.value().isBool())
            return error(request, socket, 400, "\"" + key + "\" takes true or false");
        state.*(known->field) = it.value().toBool();
    }
    if (sources.setState)
        sources.setState(state);
    answer(request, socket, 200, "application/json",
        QByteArray::fromStdString(stateJson(printer) + "\n"));
}

// What the printer keeps between jobs; DELETE forgets it all, as clearing
// a real printer's memory with its utility does.
void WebService::memory(const QHttpServerRequest& request, QTcpSocket* socket, Printer& printer)
{
    const WebSources& sources = printer.sources;
    if (!sources.memory.listing)
        return error(request, socket, 404, "this program keeps no printer memory");
    if (request.method() == QHttpServerRequest::Method::Delete) {
        std::string why;
        if (!sources.memory.clear || !sources.memory.clear(why))
            return error(request, socket, 500, "the printer's memory could not be cleared: " + why);
    }
    answer(request, socket, 200, "application/json",
        QByteArray::fromStdString(sources.memory.listing() + "\n"));
}

// The page gives the token once; it is kept in a cookie scripts cannot read.
void WebService::login(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QJsonDocument document = QJsonDocument::fromJson(request.body());
    const std::string token
        = document.object().value(QStringLiteral("token")).toString().toStdString();
    if (rules_.token.empty())
        return answer(request, socket, 200, "application/json", "{}\n"); // nothing to give
    if (!SameSecret(token, rules_.token))
        return error(request, socket, 401, "that is not the token");
    // The service's own token (its characters were checked at start), never the text sent.
    answer(request, socket, 200, "application/json", "{}\n",
        { { "Set-Cookie",
            QByteArray::fromStdString(std::string(kTokenCookie) + "=" + rules_.token
                + "; HttpOnly; SameSite=Strict; Path=/") } });
}

// Server-Sent Events: "job" with each job's line as it ends, "state" with
// a printer's state at once and as it changes; each names its printer
// (printer_name).
void WebService::goLive(
    const QHttpServerRequest& request, QTcpSocket* socket, const Printer* printer)
{
    std::erase_if(live_, [](const LiveClient& client) { return client.socket.isNull(); });
    if (static_cast<int>(live_.size()) >= kMostLiveClients)
        return error(request, socket, 503, "too many pages are watching already");
    QByteArray now = Head(200, "text/event-stream", -1);
    for (const Printer& each : printers_)
        if (!printer || printer == &each)
            now += "event: state\ndata: " + QByteArray::fromStdString(stateJson(each)) + "\n\n";
    socket->write(now);
    socket->setProperty(kLiveClient, true);
    live_.push_back({ socket, printer });
}

void WebService::tellLive(const Printer& printer, const QByteArray& event)
{
    std::erase_if(live_, [](const LiveClient& client) { return client.socket.isNull(); });
    for (const LiveClient& client : live_) {
        if (client.printer && client.printer != &printer)
            continue;
        // A client that does not read is let go rather than buffered for.
        if (client.socket->bytesToWrite() > kMostUnsentToAClient)
            client.socket->abort();
        else
            client.socket->write(event);
    }
}

void WebService::jobFinished(const std::string& name, const std::string& line)
{
    Printer* const printer = named(name);
    if (!printer)
        return;
    printer->jobs.push_back(line);
    while (printer->jobs.size() > kJobsKept)
        printer->jobs.pop_front();
    ++printer->finished;
    tellLive(*printer, QByteArray::fromStdString("event: job\ndata: " + line + "\n\n"));
}

void WebService::stateChanged(const std::string& name)
{
    if (const Printer* const printer = named(name))
        tellLive(*printer,
            QByteArray::fromStdString("event: state\ndata: " + stateJson(*printer) + "\n\n"));
}

} // namespace ostrel
