#pragma once

#include "net/web_print_port.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

class PrinterUnit;

// What a web till's page posts to a printer over HTTP (--web-print):
// Epson's ePOS-Print for a model of ESC/POS, Star's WebPRNT for a model of
// Star's languages. Each document is a job of the printer, kept beside it
// as it came; the answer says what the printer did with it, once a printer
// in time has printed it or the till's timeout has passed.
class WebPrintIntake : public QObject {
    Q_OBJECT
public:
    explicit WebPrintIntake(PrinterUnit& printer);
    ~WebPrintIntake() override;

    bool listen(const ListenAddress& where, std::string& error);
    std::string listeningOn() const { return port_.listeningOn(); }
    quint16 port() const { return port_.port(); }
    void close() { port_.close(); }

    // A line to say: a refused document or origin.
    std::function<void(const std::string&)> said;
    // A till still waits for its answer: the program waits for it to end.
    bool busy() const { return !waiting_.empty() || port_.busy(); }
    // It was busy and is no more.
    std::function<void()> settled;

    // The timeout a till gets when its query gives none, and the most it may ask.
    static constexpr long long kDefaultTimeoutMs = 60'000;
    static constexpr long long kMostTimeoutMs = 3'600'000;

private:
    void epos(const WebPrintRequest& request, WebPrintPort::Respond respond);
    void display(const WebPrintRequest& request, WebPrintPort::Respond respond);
    void webPrnt(const WebPrintRequest& request, WebPrintPort::Respond respond);
    void check();
    void say(const std::string& line);

    // A job taken, its answer waiting for the printer in time.
    struct Waiting {
        long long printedAt = 0;
        std::chrono::steady_clock::time_point deadline;
        WebPrintPort::Respond respond;
        bool webPrnt = false; // answered as WebPRNT, not ePOS-Print
        bool held = false; // taken while offline: printed once the printer is back
    };

    PrinterUnit& printer_;
    WebPrintPort port_;
    std::vector<Waiting> waiting_;
    QTimer poll_;
};

} // namespace ostrel
