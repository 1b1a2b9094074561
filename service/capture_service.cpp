#include "service/capture_service.h"

#include "files/atomic_file.h"
#include "protocol/message_text.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace ostrel {

CaptureService::CaptureService(CaptureServiceOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options))
    , out_(out)
    , err_(err)
{
    noJobs_.setSingleShot(true);
    noJobs_.setInterval(options_.timeoutS * 1000);
    connect(&noJobs_, &QTimer::timeout, this, [this] {
        if (anyBusy())
            return;
        // Fewer jobs than --jobs asked for is a failure a CI check must see.
        if (options_.jobs > 0 && finishedJobs_ < options_.jobs) {
            say("--timeout: " + std::to_string(finishedJobs_) + " of the "
                + std::to_string(options_.jobs) + " jobs --jobs asked for came before "
                + std::to_string(options_.timeoutS) + " s without a job");
            return end(kJobsMissing);
        }
        end(failed_ ? 1 : 0);
    });
    readyRetry_.setSingleShot(true);
    connect(&readyRetry_, &QTimer::timeout, this, [this] { sayReady(); });
}

CaptureService::~CaptureService() = default;

bool CaptureService::start(std::string& error)
{
    std::vector<PrinterOptions> each = options_.printers;
    if (each.empty())
        each.push_back(options_);
    const bool named = options_.printers.size() > 0;
    for (PrinterOptions& printer : each) {
        auto unit = std::make_unique<PrinterUnit>(printer, err_);
        PrinterUnit* const at = unit.get();
        // A shop's printers say who they are; a lone printer speaks as the program.
        if (named)
            at->said = [this, at](const std::string& line) { say(at->name() + ": " + line); };
        at->jobStarted = [this] { noJobs_.stop(); };
        at->jobFinished = [this, at](const std::string& line) { jobDone(*at, line); };
        at->stateChanged = [this, at] {
            if (stateChanged)
                stateChanged(*at);
        };
        at->idle = [this] {
            if (options_.timeoutS > 0 && !anyBusy())
                noJobs_.start();
            maybeEnd();
        };
        printers_.push_back(std::move(unit));
        if (!at->start(error)) {
            if (named)
                error = "printer " + QuotedForMessage(at->name()) + ": " + error;
            return false;
        }
    }
    if (options_.timeoutS > 0)
        noJobs_.start();
    return true;
}

void CaptureService::announceReady() { sayReady(); }

std::string CaptureService::listeningOn() const
{
    return printers_.empty() ? "" : printers_.front()->listeningOn();
}

bool CaptureService::anyBusy() const
{
    for (const auto& printer : printers_)
        if (printer->busy())
            return true;
    return false;
}

void CaptureService::jobDone(PrinterUnit& printer, const std::string& line)
{
    out_ << line << "\n" << std::flush;
    if (!out_) {
        say("cannot write to standard output");
        failed_ = true;
    }
    ++finishedJobs_;
    if (jobFinished)
        jobFinished(printer, line);
}

void CaptureService::maybeEnd()
{
    if (options_.jobs > 0 && finishedJobs_ >= options_.jobs && !stopping_)
        return stop();
    // A forwarded job still closing ends first.
    if (stopping_ && !anyBusy()) {
        bool failed = failed_;
        for (const auto& printer : printers_)
            failed = failed || printer->failed();
        end(failed ? 1 : 0);
    }
}

void CaptureService::stop()
{
    if (stopping_)
        return;
    stopping_ = true;
    // Jobs in progress are finished and written first; no waiting one is
    // taken after them.
    for (const auto& printer : printers_)
        printer->stop();
    maybeEnd();
}

void CaptureService::end(int status)
{
    if (ended_)
        return;
    ended_ = true;
    if (!stopping_) {
        stopping_ = true;
        for (const auto& printer : printers_)
            printer->stop();
    }
    if (ended)
        ended(status);
}

void CaptureService::sayReady()
{
    // Where it listens (or the serial device), a line a printer: the port a
    // script gave as 0 is known from it. A shop names each printer first.
    std::string where;
    for (const auto& printer : printers_)
        where += (options_.printers.empty() ? "" : printer->name() + " ") + printer->where() + "\n";
    if (!readySaid_) {
        readySaid_ = true;
        ::sd_notify(0, ("READY=1\nSTATUS=taking jobs on " + where).c_str());
    }
    if (options_.readyFile.empty())
        return;
    struct stat about { };
    if (::stat(options_.readyFile.c_str(), &about) == 0 && S_ISFIFO(about.st_mode)) {
        // A FIFO a script reads from: written once its reader is there, so
        // the script waits without polling.
        const int fd = ::open(options_.readyFile.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENXIO)
            return readyRetry_.start(50);
        const bool written = fd >= 0
            && ::write(fd, where.data(), where.size()) == static_cast<ssize_t>(where.size());
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (!written)
            say("cannot write " + QuotedForMessage(options_.readyFile) + ": "
                + std::strerror(error));
        return;
    }
    AtomicFileSet file;
    if (!file.stage(options_.readyFile, where) || !file.commit())
        say("cannot write " + file.error());
}

void CaptureService::say(const std::string& line)
{
    // One write a line, so that whoever reads it never sees half of one.
    err_ << ("ostrel-capture: " + line + "\n") << std::flush;
}

} // namespace ostrel
