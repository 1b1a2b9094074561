#pragma once

#include "service/printer_unit.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

struct CaptureServiceOptions : PrinterOptions {
    // --config: a printer each; empty: the one printer the fields above make.
    std::vector<PrinterOptions> printers;
    std::string readyFile; // --ready-file: where it says it is taking jobs
    int jobs = 0; // end after this many jobs, on all printers; 0: no limit
    int timeoutS = 0; // end after this long without a job; 0: never
};

// ostrel-capture's printers in one process: each job's line goes to
// standard output, and the service ends after --jobs or --timeout, or when
// stopped once every printer has written the job it was taking.
class CaptureService : public QObject {
    Q_OBJECT
public:
    CaptureService(CaptureServiceOptions options, std::ostream& out, std::ostream& err);
    ~CaptureService() override;

    // Starts every printer; false with a reason naming the printer, port or folder.
    bool start(std::string& error);
    // Says where it takes jobs (--ready-file, systemd), once all is up.
    void announceReady();
    // Finishes the jobs in progress (their files written), then ends.
    void stop();

    // Called once, when the service has ended, with its exit status.
    std::function<void(int)> ended;
    // A job's line, once written to standard output.
    std::function<void(PrinterUnit&, const std::string& line)> jobFinished;
    // What a printer reports changed.
    std::function<void(PrinterUnit&)> stateChanged;

    // Where the first printer takes TCP jobs ("127.0.0.1:9100"); empty without.
    std::string listeningOn() const;
    const std::vector<std::unique_ptr<PrinterUnit>>& printers() const { return printers_; }
    void say(const std::string& line);

private:
    void jobDone(PrinterUnit& printer, const std::string& line);
    void maybeEnd();
    void end(int status);
    void sayReady();
    bool anyBusy() const;

    CaptureServiceOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    std::vector<std::unique_ptr<PrinterUnit>> printers_;
    QTimer noJobs_;
    QTimer readyRetry_; // a FIFO's reader is not there yet
    bool readySaid_ = false;
    int finishedJobs_ = 0;
    bool failed_ = false;
    bool stopping_ = false;
    bool ended_ = false;
};

// The exit status when --timeout ends it before the jobs --jobs asked for came.
inline constexpr int kJobsMissing = 4;

} // namespace ostrel
