#pragma once

#include "app/printer_in_time.h"
#include "app/tool_options.h"
#include "web/web_service.h"
#include "session/capture_session.h"
#include "session/print_pace.h"
#include "session/reply_ledger.h"
#include "protocol/command_framer.h"
#include "files/job_files.h"
#include "net/printer_forward.h"
#include "net/tcp_printer_port.h"
#include "printer/conversation_record.h"
#include "printer/command_listing.h"
#include "printer/fault_script.h"
#include "receipt/cut_finder.h"
#include "receipt/not_understood_scan.h"
#include "serial/qt_serial_control.h"
#include "serial/serial_source.h"

#include <QObject>
#include <QTimer>

#include <iosfwd>
#include <memory>
#include <optional>

namespace ostrel {

struct CaptureServiceOptions {
    std::optional<ListenAddress> listen;
    SerialOptions serial;
    std::uint8_t statusByte1 = kStartUpStatusByte1;
    std::uint8_t statusByte2 = kStartUpStatusByte2;
    bool statusReturn = true;
    PrinterState state;       // --state: what the real-time replies say
    std::string printer = "generic"; // --printer: the model, named in each job's record
    std::string stateFile;    // --state-file: read again whenever it changes
    std::string out;          // folder for the job files; empty: none written
    std::string readyFile;    // --ready-file: where it says it is taking jobs
    int jobGapMs = 2000;      // serial: a silence this long ends a job
    int jobs = 0;             // end after this many jobs; 0: no limit
    int timeoutS = 0;         // end after this long without a job; 0: never
    long long maxJobBytes = 64LL << 20;
    long long keepJobs = 0;   // --keep: the newest this many jobs stay; 0: all
    long long maxDisk = 0;    // --max-disk: the jobs' files take at most this; 0: any
    TcpJobLimits tcpLimits;   // TCP: how long a silent client, and a whole job, may last
    std::string forwardHost;  // --forward: the real printer each TCP job goes on to; empty: none
    quint16 forwardPort = 9100;
    bool forwardFallbackAnswer = false; // --forward-fallback answer: the stand-in answers once the printer fails
    std::string forwardSerial;          // --forward serial:DEVICE[,SETTINGS]: a serial printer instead
    std::string forwardSerialSettings;
    // A printer in time (--print-speed, --buffer, --roll, --script): none
    // when every job prints the instant it arrives.
    std::optional<PrintPace::Settings> pace;
    std::vector<FaultLine> script;
    // --http: the page and the API; the token they need beyond the loopback,
    // and other names the page may be reached by (--http-host).
    std::optional<ListenAddress> http;
    std::string httpToken;
    std::vector<std::string> httpHosts;
};

// What a forwarded job waits for the printer to take, at most, before the
// program is read no further; said in --help.
inline constexpr std::size_t kForwardBuffer = 1 << 20;
// How long a forwarded job's printer may take, after the job's end, to read
// it, answer and close.
inline constexpr std::chrono::milliseconds kForwardLinger{2000};

// One job being captured: a session of its own, and what the job file and
// line report.
class JobCapture : private CaptureListener {
public:
    JobCapture(std::string source, const StatusControls& status, const PrinterState& state,
               long long maxBytes, const std::string& printer);
    // The state changed while the job goes on: peers that asked hear of it.
    void setPrinterState(const PrinterState& state) { session_.setPrinterState(state); }
    ~JobCapture() override;

    // Takes received bytes; those past the size limit are counted, not kept.
    void take(std::string_view chunk, ByteSource* from);
    // The job's number is given when it ends, so that a connection that sent
    // nothing takes none.
    // `from` says, at the end, which of the replies reached the peer.
    JobRecord finish(const std::string& endedBy, long long number, const ByteSource& from);
    bool empty() const { return record_.bytes.empty() && record_.droppedBytes == 0; }
    // Who answers status requests: the stand-in, or (forwarding) nobody.
    void setStatusControls(const StatusControls& status) { session_.setStatusControls(status); }
    // Forwarded to a real printer: the conversation both ways, timed from
    // the job's start.
    void recordConversation(receipt::Language language) { conversation_.emplace(language); }
    void programSent(std::string_view chunk) { if (conversation_) conversation_->programSent(chunk, sinceStartUs()); }
    void printerAnswered(std::string_view chunk) { if (conversation_) conversation_->printerAnswered(chunk, sinceStartUs()); }
    void forwardEnded(const PrinterForward& forward);
    long long sinceStartUs() const;
    long long size() const { return static_cast<long long>(record_.bytes.size()); }
    // A printer in time: GS r and ETB wait for printing, and are answered
    // through the job's session when it gets there.
    void setAnswersAfterPrinting(bool everyRequest) { session_.setAnswersAfterPrinting(true, everyRequest); }
    void answerPrinted(ByteSource& from, const RealTimeRequest& request) { session_.answerPrinted(from, request); }
    // Something happened to the printer while this job came, when the
    // printer had printed `printed` bytes of all it took; this job's first
    // byte was byte `paceStart` of them.
    void printerEvent(const std::string& what, long long printed);
    void setPaceStart(long long received) { paceStart_ = received; }

private:
    void chunkTaken(std::string_view chunk, ByteSource*) override { notUnderstood_.feed(chunk); }
    void replySent(std::string_view reply, ByteSource* to) override;

    CaptureSession session_;
    // Reads the job as the receipt printer model does, for the bytes it does
    // not understand.
    receipt::NotUnderstoodScan notUnderstood_;
    JobRecord record_;
    ReplyLedger replies_{kRepliesListed};
    long long maxBytes_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::optional<ConversationRecord> conversation_;
    long long paceStart_ = 0;
};

// ostrel-capture: a stand-in printer without a window. Takes jobs from a TCP
// port and/or a serial port, answers status requests, and for each job writes
// its files and prints one JSON line.
class CaptureService : public QObject, private ByteSink {
    Q_OBJECT
public:
    CaptureService(CaptureServiceOptions options, std::ostream& out, std::ostream& err);
    ~CaptureService() override;

    // Opens the inputs; false with a reason naming the port or folder.
    bool start(std::string& error);
    // Finishes the jobs in progress (their files written), then ends.
    void stop();

    // Called once, when the service has ended, with its exit status.
    std::function<void(int)> ended;
    // Where TCP jobs are taken ("127.0.0.1:9100"); empty without --listen.
    std::string listeningOn() const;

private:
    // Each TCP connection is a job of its own.
    void sourceStarted(ByteSource& connection) override;
    void bytesArrived(std::string_view chunk, ByteSource& from) override;
    bool keepsEnded(ByteSource&, std::function<void()> release) override;
    void sourceStopped(ByteSource&, const std::string& why) override;
    std::unique_ptr<PrinterForward> startForwarding(JobCapture& job, ByteSource& program, bool tcp);
    void endForwarding(std::unique_ptr<PrinterForward>& forward, JobCapture* job);
    void takeSerial(std::string_view chunk);
    void finishSerialJob(const std::string& why);
    void finishJob(std::unique_ptr<JobCapture> job, const std::string& why, const ByteSource& from);
    void prune();
    void readStateFile();
    void progress(const std::string& line);
    void say(const std::string& line);
    void maybeEnd();
    void sayReady();
    // A printer in time: bytes go to it after the job's session, the buffer
    // holds the port, the roll and the script change the state.
    void paceTake(JobCapture& job, std::string_view chunk, ByteSource& from);
    void holdInput(bool held);
    void printerEvent(const std::string& what);
    PrinterState effectiveState() const;
    void publishState();
    void end(int status);

    CaptureServiceOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    FixedStatusControls status_;
    FixedStatusControls silent_; // forwarding: the stand-in answers nothing
    PrinterState state_;
    QTimer stateWatch_;
    std::string stateSeen_; // the state file as last read, or why it could not be
    long long nextNumber_ = 1;
    int finishedJobs_ = 0;
    bool failed_ = false;
    bool stopping_ = false;
    bool ended_ = false;

    std::unique_ptr<TcpPrinterPort> tcp_;
    std::unique_ptr<JobCapture> tcpJob_;
    std::unique_ptr<PrinterForward> forward_;       // the TCP job's link to the real printer
    std::unique_ptr<PrinterForward> serialForward_; // the serial job's
    std::unique_ptr<QtSerialControl> printerLine_;  // a serial printer forwarded to, open for every job

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
    QTimer noJobs_;
    QTimer readyRetry_; // a FIFO's reader is not there yet
    bool readySaid_ = false;

    std::unique_ptr<PrinterInTime> paced_;
    std::unique_ptr<WebService> web_;
    PrinterState told_; // what the page was last told
    void setStateByHand(PrinterState state, const std::string& by);
};

// The exit status when --timeout ends it before the jobs --jobs asked for came.
inline constexpr int kJobsMissing = 4;

// Runs ostrel-capture with its command line; returns the exit status.
int RunCaptureService(int argc, char** argv);

} // namespace ostrel
