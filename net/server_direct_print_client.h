#pragma once

#include "net/http_poller.h"
#include "printer/printer_state.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ostrel {

// One <ePOSPrint> of a Server Direct Print answer: its <Parameter> and its
// <PrintData>, written out again as a document of its own.
struct SdpPrintRequest {
    std::string devid;
    long long timeoutMs = 0;
    std::string printJobId;
    QByteArray printData;
    bool display = false; // an <ePOSDisplay>: a customer display's, which this printer has not
};
struct SdpRequestInfo {
    std::string version = "1.00";
    std::vector<SdpPrintRequest> prints;
};
// The most <ePOSPrint> entries one answer may hold.
constexpr int kSdpMostPrints = 100;

// Reads a <PrintRequestInfo> answer; false with the reason. Its
// <ePOSDisplay> entries are kept in their place, to be answered.
bool ReadPrintRequestInfo(const QByteArray& body, SdpRequestInfo& info, std::string& error);

// How one document went, as the printer's <response> says it.
struct SdpPrintResult {
    std::string devid, printJobId;
    bool success = false;
    std::string code;
    std::uint32_t status = 0;
    bool display = false;
};
// The <PrintResponseInfo> for the results, in the form the request's
// version asks for: bare <response>s for 1.00 without job IDs, each in its
// <ePOSPrint> with its <Parameter> otherwise (<ePOSDisplay> and
// <DisplayResponse> for a display's).
QByteArray PrintResponseInfo(
    const std::string& requestVersion, const std::vector<SdpPrintResult>& results);
// The <PrintResponseInfo> for an answer that could not be read.
QByteArray PrintResponseInfoRefused(const std::string& summary, const std::string& detail);

// The printer's side of Epson's Server Direct Print: it asks the server for
// print requests every interval, prints each ePOS-Print document in them,
// and posts the results.
class ServerDirectPrintClient : public QObject {
    Q_OBJECT
public:
    struct Settings {
        std::string url;
        std::string id; // the ID set in the printer's web configuration
        std::string name; // its name, sent as Name
        std::string printer; // the model (--printer): paper width and code pages
        std::chrono::milliseconds pollInterval { 5000 };
        std::string caFile;
        long long maxJobBytes = 64LL << 20; // the answer holding the documents
        std::chrono::milliseconds timeout { 15000 };
    };
    struct Job {
        std::string commands; // ESC/POS
        std::string document; // the <PrintData> as it came, kept as XML
        std::string devid, printJobId;
    };
    struct Printing {
        PrinterState state;
        long long printedAt = 0;
    };

    explicit ServerDirectPrintClient(Settings settings);
    ~ServerDirectPrintClient() override;

    bool start(std::string& error);
    void stop();

    std::function<PrinterState()> state;
    std::function<long long()> printed;
    std::function<Printing(Job)> print;
    std::function<void(const std::string&)> said;
    // Documents taken are printing, or their results on the way to the
    // server: the program waits for them to end.
    bool busy() const { return busy_; }
    // What it was busy with is over.
    std::function<void()> settled;

private:
    void poll();
    void polled(const HttpPoller::Answer& answer);
    void printNext();
    void waitForPaper();
    void finishDocument(bool success, const std::string& code, const PrinterState& state);
    void sendResults(const QByteArray& responseFile);
    QNetworkRequest form() const;

    Settings settings_;
    HttpPoller http_;
    QUrl url_;
    QTimer pollTimer_;
    QTimer watch_; // a document printing in time, waited for
    bool stopped_ = true;
    bool busy_ = false;

    SdpRequestInfo request_;
    std::size_t next_ = 0;
    std::vector<SdpPrintResult> results_;
    long long printedAt_ = -1;
    QByteArray unsent_; // results not taken yet
    int unsentTries_ = 0;
};

} // namespace ostrel
