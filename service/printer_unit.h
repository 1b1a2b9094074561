#pragma once

#include "net/listen_address.h"
#include "net/printer_forward.h"
#include "net/tcp_printer_port.h"
#include "printer/fault_script.h"
#include "printer/printer_state.h"
#include "printer/status_reply.h"
#include "receipt/cut_finder.h"
#include "serial/line_settings.h"
#include "serial/qt_serial_control.h"
#include "serial/serial_source.h"
#include "service/job_capture.h"
#include "service/printer_in_time.h"
#include "service/printer_memory_keeper.h"
#include "session/print_pace.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// What makes one printer: its ports, its model and state, where its jobs
// go, how it prints and where it forwards to.
struct PrinterOptions {
    std::string name = "printer"; // in each job's line, and the shop's page
    std::optional<ListenAddress> listen;
    SerialOptions serial;
    std::uint8_t statusByte1 = kStartUpStatusByte1;
    std::uint8_t statusByte2 = kStartUpStatusByte2;
    bool statusReturn = true;
    PrinterState state; // --state: what the real-time replies say
    std::string printer = "generic"; // --printer: the model, named in each job's record
    std::string stateFile; // --state-file: read again whenever it changes
    std::string out; // folder for the job files; empty: none written
    int jobGapMs = 2000; // serial: a silence this long ends a job
    long long maxJobBytes = 64LL << 20;
    long long keepJobs = 0; // --keep: the newest this many jobs stay; 0: all
    long long maxDisk = 0; // --max-disk: the jobs' files take at most this; 0: any
    TcpJobLimits tcpLimits; // TCP: how long a silent client, and a whole job, may last
    std::string forwardHost; // --forward: the real printer each job goes on to; empty: none
    quint16 forwardPort = 9100;
    bool forwardFallbackAnswer
        = false; // --forward-fallback answer: the stand-in answers once the printer fails
    std::string forwardSerial; // --forward serial:DEVICE[,SETTINGS]: a serial printer instead
    std::string forwardSerialSettings;
    // A printer in time (--print-speed, --buffer, --roll, --script): none
    // when every job prints the instant it arrives.
    std::optional<PrintPace::Settings> pace;
    std::vector<FaultLine> script;
    // Ports that take whole jobs, and the servers it polls for them.
    std::optional<ListenAddress> lpd; // --lpd: LPD (RFC 1179)
    std::optional<ListenAddress> webPrint; // --web-print: ePOS-Print and WebPRNT over HTTP
    std::vector<std::string>
        webPrintOrigins; // --web-print-origin: the pages that may post; none: any
    std::string cloudPrnt; // --cloudprnt: a CloudPRNT server's URL
    std::string serverDirectPrint; // --server-direct-print: a Server Direct Print server's URL
    std::string sdpId; // --sdp-id: the ID it is known by there
    int pollIntervalS = 5; // --poll-interval
    std::string caFile; // --ca-file: the CAs that HTTPS servers are checked against
};

// A job that arrives whole: an LPD data file, a document posted over HTTP,
// a job fetched from a cloud server.
struct WholeJob {
    std::string source; // "lpd 127.0.0.1:41234", "epos 127.0.0.1:5121", "cloudprnt URL"
    std::string bytes; // the printer's commands, as its model reads them
    // More string fields of its line and report ({"lpd_job_name", ...}).
    std::vector<std::pair<std::string, std::string>> origin;
    // What came, kept beside the job as job-NNNN.<documentEnding>; empty: none.
    std::string document;
    std::string documentEnding;
};

struct WholeJobDone {
    long long number = 0; // 0: the job was empty, and nothing kept
    PrinterState state; // what the printer reports once it took the job
    long long printedAt = 0; // a printer in time has printed it once printed() gets here
    bool saved = true; // false: its files could not be written (said already)
    bool refused = false; // the printer is stopping and took nothing
    std::string line; // its JSON line
};

// One stand-in printer: its ports (TCP, each connection a job, and a serial
// line, jobs ended by a silence or a cut), its state and the state file,
// the printer in time, forwarding to a real printer, and its job files.
// What a real printer keeps from one connection to the next stays here.
class PrinterUnit : public QObject, private ByteSink {
    Q_OBJECT
public:
    PrinterUnit(PrinterOptions options, std::ostream& err);
    ~PrinterUnit() override;

    // Opens the ports and the folder; false with a reason naming them.
    bool start(std::string& error);
    // Finishes the jobs in progress (their files written) and takes no more.
    void stop();
    // A job is being taken, a forwarded one is still closing, or one fetched
    // from a server is not yet confirmed to it.
    bool busy() const;
    // Something failed to be written or read since the start.
    bool failed() const { return failed_; }

    const PrinterOptions& options() const { return options_; }
    const std::string& name() const { return options_.name; }
    // Where TCP jobs are taken ("127.0.0.1:9100"); empty without a TCP port.
    std::string listeningOn() const;
    // Where it takes jobs: the TCP address, else the serial device, else the
    // first port of another kind, named by it ("lpd 127.0.0.1:515").
    std::string where() const;
    // What the printer reports: the state set and what the roll says.
    PrinterState state() const;
    // A state set by hand (the page); `by` ends the message that says so.
    void setStateByHand(PrinterState state, const std::string& by);
    // What the printer keeps between jobs: graphics, logos, characters.
    PrinterMemoryKeeper& memory() { return memory_; }
    // Takes a job that came whole, as a TCP job would be taken from end to
    // end; its answers to real-time requests go nowhere.
    WholeJobDone printWhole(WholeJob job);
    // A printer in time: how many bytes of all it took it has printed; else
    // everything, always.
    long long printed() const;
    // A printer in time: what it has taken so far.
    long long received() const;

    // A job ended: its JSON line (its files already written).
    std::function<void(const std::string& line)> jobFinished;
    // A connection or the serial line began a job.
    std::function<void()> jobStarted;
    // What it reports changed.
    std::function<void()> stateChanged;
    // Nothing is going on any more after stop(), or a job ended.
    std::function<void()> idle;
    // Each line it has to say, without the program's name.
    std::function<void(const std::string&)> said;

private:
    // Each TCP connection is a job of its own.
    void sourceStarted(ByteSource& connection) override;
    void bytesArrived(std::string_view chunk, ByteSource& from) override;
    bool keepsEnded(ByteSource&, std::function<void()> release) override;
    void sourceStopped(ByteSource&, const std::string& why) override;
    std::unique_ptr<JobCapture> newJob(ByteSource& source);
    std::unique_ptr<PrinterForward> startForwarding(JobCapture& job, ByteSource& program, bool tcp);
    void endForwarding(std::unique_ptr<PrinterForward>& forward, JobCapture* job);
    void takeSerial(std::string_view chunk);
    void finishSerialJob(const std::string& why);
    // Its JSON line; empty when the job was empty and nothing was kept.
    std::string finishJob(
        std::unique_ptr<JobCapture> job, const std::string& why, const ByteSource& from);
    void prune();
    void readStateFile();
    void settled();
    void progress(const std::string& line);
    void say(const std::string& line);
    // A printer in time: bytes go to it after the job's session, the buffer
    // holds the port, the roll and the script change the state.
    void paceTake(JobCapture& job, std::string_view chunk, ByteSource& from);
    void holdInput(bool held);
    void printerEvent(const std::string& what);
    void publishState();

    PrinterOptions options_;
    std::ostream& err_;
    FixedStatusControls status_;
    FixedStatusControls silent_; // forwarding: the stand-in answers nothing
    PrinterState state_;
    QTimer stateWatch_;
    std::string stateSeen_; // the state file as last read, or why it could not be
    long long nextNumber_ = 1;
    bool failed_ = false;
    bool lastSaved_ = true; // whether the last job's files were written
    bool stopping_ = false;

    std::unique_ptr<TcpPrinterPort> tcp_;
    std::unique_ptr<JobCapture> tcpJob_;
    std::unique_ptr<PrinterForward> forward_; // the TCP job's link to the real printer
    std::unique_ptr<PrinterForward> serialForward_; // the serial job's
    std::unique_ptr<QtSerialControl>
        printerLine_; // a serial printer forwarded to, open for every job

    std::unique_ptr<QtSerialControl> serial_;
    std::unique_ptr<SerialSource> serialSource_;
    std::unique_ptr<JobCapture> serialJob_;
    // Serial jobs ended whose printer is still given its moment.
    struct ClosingJob {
        std::unique_ptr<JobCapture> job;
        std::unique_ptr<PrinterForward> forward;
        std::string why;
    };
    std::vector<std::unique_ptr<ClosingJob>> serialClosing_;
    receipt::CutFinder serialCuts_;
    QTimer serialGap_;

    // Ports of other kinds, each feeding printWhole.
    std::vector<std::unique_ptr<QObject>> intakes_;

    std::unique_ptr<PrinterInTime> paced_;
    PrinterState told_; // what stateChanged last told
    ArrivalInbox::Kept kept_; // Star's ETB count and automatic status, as the last job left them
    PrinterMemoryKeeper memory_;
};

} // namespace ostrel
