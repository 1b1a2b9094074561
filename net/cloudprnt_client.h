#pragma once

#include "net/http_poller.h"
#include "printer/printer_state.h"
#include "receipt/plain_job.h"
#include "receipt/printer_profile.h"

#include <QJsonArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// Star CloudPRNT's wording of a printer state, as its status codes put it:
// "200 OK", "211 Paper Low", "410 Out of Paper", "420 Cover Open".
std::string CloudPrntStatusCode(const PrinterState& state);
// The printer's automatic status (ASB) as a network printer's CloudPRNT
// sends it: its bytes in hex, a space between them.
std::string CloudPrntStatusBytes(const PrinterState& state);
// The media types a model takes, the one it prefers first; pictures only
// when they can be turned into its commands.
std::vector<std::string> CloudPrntMediaTypes(receipt::Language language, bool pictures);
// The first of `ours` the server offers (types compared without their
// parameters, in any case); empty when it offers none of them.
std::string ChooseCloudPrntMediaType(
    const std::vector<std::string>& offered, const std::vector<std::string>& ours);
// The cut and drawer the server asks for in X-Star-Cut ("full; feed=true")
// and X-Star-CashDrawer ("none", "start", "end"); what it does not say stays.
void ReadStarJobHeaders(
    const QByteArray& cut, const QByteArray& drawer, receipt::JobEnding& ending);
// A MAC address for a printer that has none of its own, the same for the
// same name: locally administered, "02:..".
std::string StandInMacAddress(const std::string& printerName);

// The printer's side of Star CloudPRNT: it polls the server with its state,
// fetches each job the server has for it in the type the model prints best,
// prints it, and tells the server how that went.
class CloudPrntClient : public QObject {
    Q_OBJECT
public:
    struct Settings {
        std::string url;
        std::chrono::milliseconds pollInterval { 5000 };
        std::string caFile; // PEM certificates trusted as well
        long long maxJobBytes = 64LL << 20; // a larger job is refused (521)
        std::string printerName; // its MAC address is made from it
        const receipt::PrinterProfile* profile = nullptr;
        std::chrono::milliseconds pollTimeout { 15000 };
        std::chrono::milliseconds jobTimeout { 60000 };
    };
    // A job fetched, in the model's own commands.
    struct Job {
        std::string commands;
        std::string mediaType;
        std::string token;
        std::string document; // a picture as it came; empty for commands and text
        std::string documentExtension;
    };
    struct Printing {
        PrinterState state; // the printer's once it took the job
        long long printedAt = 0; // printed() reaches it once the job is on paper
    };

    explicit CloudPrntClient(Settings settings);
    ~CloudPrntClient() override;

    // Reads the CA file and polls at once, then every interval; false with
    // the reason.
    bool start(std::string& error);
    void stop();

    // What the printer reports now.
    std::function<PrinterState()> state;
    // Bytes printed so far; a job is on paper once this reaches its printedAt.
    std::function<long long()> printed;
    std::function<Printing(Job)> print;
    // A PNG or JPEG picture as the model's commands, ending as asked; false
    // with the reason. Unset: pictures are not offered.
    std::function<bool(std::string_view picture, const receipt::JobEnding& ending, bool dither,
        std::string& commands, std::string& error)>
        picture;
    std::function<void(const std::string&)> said;
    // A job fetched is not confirmed yet: the program waits for it to end.
    bool busy() const { return jobBusy_; }
    // The job it was busy with is over.
    std::function<void()> settled;

    const std::string& macAddress() const { return mac_; }

private:
    void poll();
    void polled(const HttpPoller::Answer& answer);
    QByteArray pollBody();
    void answerActions(const QJsonArray& actions);
    void fetch(const QUrl& where, const std::string& type, const std::string& token);
    void fetched(const HttpPoller::Answer& answer, std::string type);
    void waitForPaper();
    void confirm(const std::string& code);
    void jobOver();
    QUrl withQuery(const QUrl& base, const std::vector<std::pair<std::string, std::string>>& items,
        bool flag = false) const;
    QNetworkRequest request(const QUrl& url) const;
    std::vector<std::string> mediaTypes() const;
    void nextPoll(std::chrono::milliseconds after);

    Settings settings_;
    HttpPoller http_;
    QUrl url_;
    std::string mac_;
    std::string uniqueId_;
    QTimer pollTimer_;
    QTimer watch_; // a state change is told at once, and a job waits for its paper
    bool polling_ = false;
    bool stopped_ = true;
    std::string statusSent_;
    QJsonArray actionResults_;

    // The job on its way: fetched, printing, or being confirmed.
    bool jobBusy_ = false;
    std::string token_;
    QUrl confirmUrl_;
    bool confirmByGet_ = false;
    long long printedAt_ = -1; // waiting for the paper while >= 0
};

} // namespace ostrel
