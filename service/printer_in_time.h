#pragma once

#include "printer/fault_script.h"
#include "printer/printer_state.h"
#include "session/capture_session.h"
#include "session/print_pace.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

// A printer in time on the event loop, for ostrel-capture and the window:
// the pace run on a timer, the fault script, and the state the printer
// reports, made of the state set by hand (--state, the state file, the
// Printer State window, the script) and what the roll says.
class PrinterInTime : public QObject {
    Q_OBJECT
public:
    PrinterInTime(PrintPace::Settings settings, const receipt::PrinterProfile& model,
        std::vector<FaultLine> script, const PrinterState& state);

    // Bytes received; each request among them that waits on printing goes
    // to `answer` when printing reaches it, unless `owner` is forgotten.
    void take(std::string_view chunk, const void* owner,
        std::function<void(const RealTimeRequest&)> answer);
    void forget(const void* owner) { pace_.forget(owner); }
    // The state set by hand. Without paper-out, it loads a new roll where
    // the last ran out (writing the state file again does so).
    void setState(const PrinterState& state);
    void loadPaper();
    const PrinterState& stateSet() const { return state_; }
    // What the printer reports: the state set, and near end and paper out
    // from the roll.
    PrinterState state() const;
    const PrintPace& pace() const { return pace_; }

    // The receive buffer filled (stop reading) or has room again.
    std::function<void(bool)> hold;
    // What the printer reports changed.
    std::function<void(const PrinterState&)> stateChanged;
    // The roll or the script changed something, in words.
    std::function<void(const std::string&)> event;

private:
    long long nowUs() const;
    void run();
    void schedule();
    void runScript();
    void changed();
    void tell(const std::string& what);

    PrintPace pace_;
    std::unique_ptr<FaultScript> script_;
    PrinterState state_;
    PrinterState reported_;
    QTimer timer_;
    QTimer scriptTimer_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    bool held_ = false;
};

// Hands what a capture session takes to a printer in time, and answers the
// requests that waited on printing through the session: the window's way,
// where one session takes every port's bytes.
class PacedSession : public CaptureListener {
public:
    PacedSession(CaptureSession& session, PrinterInTime& printer);
    ~PacedSession() override;
    void chunkTaken(std::string_view chunk, ByteSource* from) override;
    void sourceEnded(ByteSource& source) override { printer_.forget(&source); }

private:
    CaptureSession& session_;
    PrinterInTime& printer_;
};

// "0.42 m of paper left, 1234 bytes waiting, printing": what the Printer
// State window shows.
std::string DescribePrinting(const PrinterInTime& printer);

} // namespace ostrel
