#pragma once

#include "net/listen_address.h"
#include "printer/printer_state.h"
#include "web/web_access.h"

#include <QAbstractHttpServer>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QTcpSocket;

namespace ostrel {

// A printer's memory as the page lists and clears it and the drawings use
// it; left empty by a program that keeps none.
struct WebMemory {
    std::function<std::string()> listing; // JSON: what is stored, the room used and left
    std::function<long long()> revision; // changes whenever the memory does
    std::function<bool(std::string&)> clear; // false with why
    std::function<std::string()> folder; // ostrel-replay's --memory; "" while nothing is kept
};

// What the page and the API show and change of one printer, from the
// program serving it.
struct WebSources {
    // Its name in the API's paths (/api/printers/NAME/): letters, digits,
    // -, _ and . only, as the config file allows.
    std::string name = "printer";
    std::string where; // where it takes jobs, as said at start
    std::string outFolder; // the jobs' files; empty: none kept
    std::string printer; // the model's id
    std::function<PrinterState()> state;
    // A change from the page or the API; it is answered from at once.
    std::function<void(const PrinterState&)> setState;
    // The program that draws and reports a saved job (ostrel-replay): run
    // apart, so that no job can take the service down with it.
    std::string replayProgram;
    WebMemory memory;
};

// The page and the JSON API over HTTP, on the event loop of the printer
// ports: Qt's server parses each request; this answers it. Every request is
// checked against the rules first, and every connection is bounded. Each
// printer answers under /api/printers/NAME/; the first one under /api/ too,
// so a service of one printer keeps its paths.
class WebService : public QAbstractHttpServer {
    Q_OBJECT
public:
    WebService(WebRules rules, std::vector<WebSources> printers);
    ~WebService() override;

    bool listen(const ListenAddress& where, std::string& error);
    std::string listeningOn() const;

    // A job of the printer named ended: its line goes to the list and to
    // the live stream.
    void jobFinished(const std::string& printer, const std::string& line);
    // The printer's state changed: the live stream says it.
    void stateChanged(const std::string& printer);

    static constexpr std::size_t kJobsKept = 1000;
    static constexpr int kMostConnections = 64;
    static constexpr int kMostLiveClients = 16;
    static constexpr qint64 kMostRequestBytes = 1 << 20; // all a connection may send
    static constexpr qint64 kMostUnsentToAClient = 1 << 20; // a slower live client is let go

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    class Listener;
    // A printer as the service keeps it: what it shows and its newest jobs.
    struct Printer {
        WebSources sources;
        std::deque<std::string> jobs; // the newest kJobsKept lines, oldest first
        long long finished = 0; // jobs ended this run
    };
    // Where a printer's API answers a request: the printer and the path
    // its URLs start with ("/api" or "/api/printers/NAME").
    struct Asked {
        Printer& printer;
        std::string prefix;
    };
    Printer* named(const std::string& name);
    // `rest` is the path after the prefix ("/jobs/7.png"); false: no such path.
    bool printerRequest(const QHttpServerRequest& request, QTcpSocket* socket, const Asked& at,
        const std::string& rest);
    std::string printersJson() const;
    static std::string printerJson(const Printer& printer);
    void answer(const QHttpServerRequest& request, QTcpSocket* socket, int status,
        const QByteArray& type, const QByteArray& body,
        const std::vector<std::pair<QByteArray, QByteArray>>& extra = {});
    void error(const QHttpServerRequest& request, QTcpSocket* socket, int status,
        const std::string& message);
    void jobFile(const QHttpServerRequest& request, QTcpSocket* socket, const Asked& at,
        const std::string& name);
    void replayed(const QHttpServerRequest& request, QTcpSocket* socket, const Asked& at,
        const std::string& job, const std::string& kind, int piece);
    void piecesDrawn(QTcpSocket* client, bool headOnly, const Asked& at, const std::string& job,
        const std::string& kind, int piece, const QString& folder);
    void compare(const QHttpServerRequest& request, QTcpSocket* socket, const Asked& at,
        const std::string& a, const std::string& b);
    // ostrel-replay's exit status, its standard output and the folder of
    // the files it wrote, which is gone once this returns.
    using ReplayDone = std::function<void(QTcpSocket*, int, const QByteArray&, const QString&)>;
    void replay(const QHttpServerRequest& request, QTcpSocket* socket, QStringList arguments,
        const QString& file, ReplayDone done);
    void start(QTcpSocket* socket, bool headOnly, QStringList arguments, const QString& file,
        ReplayDone done);
    void keepDrawing(const Asked& at, const std::string& drawing, const QByteArray& bytes);
    static QString savedJob(const Printer& printer, const std::string& number);
    void putState(const QHttpServerRequest& request, QTcpSocket* socket, Printer& printer);
    void memory(const QHttpServerRequest& request, QTcpSocket* socket, Printer& printer);
    // A drawing as kept: whose URL it answers and what the printer's memory
    // held when it was made.
    static std::string keptAs(const Asked& at, const std::string& key);
    void login(const QHttpServerRequest& request, QTcpSocket* socket);
    // The live stream of one printer, or of all of them (null).
    void goLive(const QHttpServerRequest& request, QTcpSocket* socket, const Printer* printer);
    void tellLive(const Printer& printer, const QByteArray& event);
    static std::string stateJson(const Printer& printer);
    static std::string flagsJson(const PrinterState& state);

    WebRules rules_;
    std::vector<Printer> printers_; // never empty; the first answers under /api/ too
    Listener* listener_;
    struct LiveClient {
        QPointer<QTcpSocket> socket;
        const Printer* printer; // null: every printer's events
    };
    std::vector<LiveClient> live_;
    int replaying_ = 0;
    static constexpr int kMostReplays = 2;
    static constexpr std::size_t kMostWaitingReplays = 32;
    std::deque<std::function<void()>> waitingReplays_;
    // Drawings already made, by job, kind and piece: a job's files never
    // change. The oldest go first past so many bytes or so many drawings.
    std::deque<std::pair<std::string, QByteArray>> drawn_;
    qint64 drawnBytes_ = 0;
    static constexpr std::size_t kDrawingsKept = 256;
    static constexpr qint64 kDrawingBytesKept = 64 << 20;
};

} // namespace ostrel
