#include "app/capture_service.h"

#include "app/quit_on_signals.h"
#include "files/atomic_file.h"
#include "files/capture_file_format.h"
#include "files/state_file.h"
#include "protocol/message_text.h"
#include "protocol/command_set.h"
#include "receipt/language_hint.h"
#include "serial/line_settings.h"
#include "serial/port_number.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkInterface>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <fcntl.h>

#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace ostrel {

JobCapture::JobCapture(std::string source, const StatusControls& status, const PrinterState& state,
                       long long maxBytes, const std::string& printer)
    : notUnderstood_(1000, receipt::LanguageOfPrinter(printer)),
      maxBytes_(maxBytes)
{
    record_.source = std::move(source);
    record_.printer = printer;
    session_.setStatusControls(status);
    session_.setPrinterState(state);
    if (const receipt::PrinterProfile* model = receipt::FindPrinterProfile(printer))
        session_.setPrinterLanguage(model->language);
    session_.addListener(*this);
    // A job keeps its command log; nobody looks at the data views.
    session_.engine().setDataViewsKept(false);
    // Room for the whole job up front, so that a long one is never copied as
    // it grows: the pages are only taken as the bytes arrive.
    record_.bytes.reserve(static_cast<std::size_t>(std::min<long long>(maxBytes, 256LL << 20)));
}

JobCapture::~JobCapture() { session_.removeListener(*this); }

void JobCapture::take(std::string_view chunk, ByteSource* from)
{
    const auto room = static_cast<std::size_t>(std::max<long long>(0, maxBytes_ - size()));
    const std::string_view kept = chunk.substr(0, room);
    record_.droppedBytes += static_cast<long long>(chunk.size() - kept.size());
    if (kept.empty())
        return;
    record_.bytes.append(kept);
    session_.UpdateData(kept, from);
}

void JobCapture::replySent(std::string_view reply, ByteSource* to)
{
    replies_.told(reply, to != nullptr ? to->replyDelivery() : ByteSource::ReplyDelivery{});
}

long long JobCapture::sinceStartUs() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
}

void JobCapture::forwardEnded(const PrinterForward& forward)
{
    if (!conversation_)
        return;
    record_.forward = conversation_->json(forward.target(), forward.error(), forward.errorAtUs(), forward.delivery());
    record_.printerAnswers = conversation_->answers();
}

void JobCapture::printerEvent(const std::string& what, long long printed)
{
    const long long received = size() + record_.droppedBytes;
    if (record_.printerEvents.size() < kPrinterEventsListed)
        record_.printerEvents.push_back({received, std::clamp(printed - paceStart_, 0LL, received), what});
}

JobRecord JobCapture::finish(const std::string& endedBy, long long number, const ByteSource& from)
{
    // Only what went out is listed as sent; the rest apart, with the reason.
    replies_.settle(from.replyDelivery());
    record_.statusReplies = replies_.sent();
    record_.replies = replies_.sentListed();
    record_.repliesNotSent = replies_.notSent();
    record_.notSentReplies = replies_.notSentListed();
    record_.notSentWhy = replies_.failure();
    record_.number = number;
    record_.endedBy = endedBy;
    record_.commandLog = ViewFileBytes(session_.listCommands());
    record_.commands = session_.state().commandCount;
    record_.kinds = NamedCommandKinds(session_.commandKinds());
    const auto cut = record_.kinds.find("GS V");
    record_.cuts = cut == record_.kinds.end() ? 0 : cut->second;
    const receipt::PrinterProfile* model = receipt::FindPrinterProfile(record_.printer);
    const receipt::Language language = model != nullptr ? model->language : receipt::Language::EscPos;
    if (language == receipt::Language::StarLine || language == receipt::Language::StarPrnt)
        record_.cuts = notUnderstood_.starCuts();
    record_.language = receipt::LanguageName(language);
    const std::string_view start(record_.bytes.data(), std::min(record_.bytes.size(), receipt::kLanguageSampleBytes));
    if (const auto hint = receipt::HintLanguage(start, language)) {
        record_.hintPrinter = hint->profile;
        record_.hintText = hint->text;
    }
    record_.notUnderstood = notUnderstood_.found();
    record_.notUnderstoodBytes = notUnderstood_.bytes();
    record_.printerCommands = notUnderstood_.commands();
    return std::move(record_);
}

CaptureService::CaptureService(CaptureServiceOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options)),
      out_(out),
      err_(err),
      status_(options_.statusByte1, options_.statusByte2, options_.statusReturn),
      silent_(options_.statusByte1, options_.statusByte2, false),
      state_(options_.state),
      serialCuts_(receipt::LanguageOfPrinter(options_.printer))
{
    stateWatch_.setInterval(200);
    connect(&stateWatch_, &QTimer::timeout, this, [this] { readStateFile(); });
    serialGap_.setSingleShot(true);
    serialGap_.setInterval(options_.jobGapMs);
    connect(&serialGap_, &QTimer::timeout, this, [this] { finishSerialJob("silence"); });
    noJobs_.setSingleShot(true);
    noJobs_.setInterval(options_.timeoutS * 1000);
    connect(&noJobs_, &QTimer::timeout, this, [this] {
        if (tcpJob_ || serialJob_)
            return;
        // Fewer jobs than --jobs asked for is a failure a CI check must see.
        if (options_.jobs > 0 && finishedJobs_ < options_.jobs) {
            say("--timeout: " + std::to_string(finishedJobs_) + " of the " + std::to_string(options_.jobs) +
                " jobs --jobs asked for came before " + std::to_string(options_.timeoutS) + " s without a job");
            return end(kJobsMissing);
        }
        end(failed_ ? 1 : 0);
    });
    readyRetry_.setSingleShot(true);
    connect(&readyRetry_, &QTimer::timeout, this, [this] { sayReady(); });
}

CaptureService::~CaptureService()
{
    // The ports outlive the jobs here; they must not report to them.
    if (tcp_)
        tcp_->feed(nullptr);
    if (serial_)
        serial_->OnComm = nullptr;
}

bool CaptureService::start(std::string& error)
{
    if (!options_.out.empty()) {
        std::error_code made;
        const bool created = std::filesystem::create_directories(options_.out, made);
        if (made || !std::filesystem::is_directory(options_.out)) {
            error = "cannot use the folder " + QuotedForMessage(options_.out) + ": " +
                    (made ? made.message() : std::string("not a folder"));
            return false;
        }
        if (created)
            say("created the folder " + QuotedForMessage(options_.out));
        // Half-written files of a run that was killed go; its whole jobs stay.
        for (const std::string& stale : RemoveStaleTemporaries(options_.out))
            say("removed " + QuotedForMessage(stale) + ", left by a run that was killed while writing");
        for (const long long number : IncompleteJobs(options_.out))
            say("job " + std::to_string(number) + " in " + QuotedForMessage(options_.out) +
                " lacks some of its .bin, .txt and .json: a run was killed while writing it");
        nextNumber_ = NextJobNumber(options_.out);
    }
    if (options_.listen) {
        tcp_ = std::make_unique<TcpPrinterPort>(options_.tcpLimits);
        if (!tcp_->listen(*options_.listen, error))
            return false;
        tcp_->feed(this);
        say("listening on " + tcp_->listeningOn());
    }
    if (!options_.serial.port.empty()) {
        serial_ = std::make_unique<QtSerialControl>();
        serialSource_ = std::make_unique<SerialSource>(*serial_);
        serialSource_->setRealTimeReplies(true);
        try {
            const SerialOptions& line = options_.serial;
            const bool number = line.port.find_first_not_of("0123456789") == std::string::npos;
            if (number)
                serial_->setCommPort(PortNumberFromText(line.port));
            else
                serial_->setDevice(line.port);
            serial_->setSettings(line.settings);
            serial_->setRTSEnable(line.hwHandshake);
            serial_->setDTREnable(line.hwHandshake);
            serial_->setHandshaking(line.hwHandshake ? comRTS : comXOnXoff);
            serial_->setPortOpen(true);
        } catch (const SerialError& failure) {
            error = "cannot open serial port " + options_.serial.port + ": " + failure.what();
            return false;
        }
        serial_->OnComm = [this] {
            if (serial_->CommEvent() == comEvReceive) {
                takeSerial(serial_->Input());
            } else if (serial_->CommEvent() == comEventPortLost) {
                say("serial port " + serial_->device() + " went away");
                failed_ = true;
                finishSerialJob("port lost");
                stop();
            }
        };
        say("reading serial port " + serial_->device());
    }
    if (!options_.forwardSerial.empty()) {
        printerLine_ = std::make_unique<QtSerialControl>();
        try {
            printerLine_->setDevice(options_.forwardSerial);
            if (!options_.forwardSerialSettings.empty())
                printerLine_->setSettings(options_.forwardSerialSettings);
            printerLine_->setPortOpen(true);
        } catch (const SerialError& failure) {
            error = "--forward: cannot open the printer's serial port " + QuotedForMessage(options_.forwardSerial) +
                    ": " + failure.what();
            return false;
        }
        // What the printer answers goes to the job in progress; between jobs
        // nobody asked, and it is dropped.
        printerLine_->OnComm = [this] {
            if (printerLine_->CommEvent() == comEvReceive) {
                const std::string bytes = printerLine_->Input();
                if (forward_)
                    forward_->answer(bytes);
                else if (serialForward_)
                    serialForward_->answer(bytes);
            } else if (printerLine_->CommEvent() == comEventPortLost) {
                say("the printer's serial port " + QuotedForMessage(options_.forwardSerial) + " went away");
                printerLine_->OnComm = nullptr;
            }
        };
    }
    if (!tcp_ && !serial_) {
        error = "nothing to capture from: give --listen and/or --serial";
        return false;
    }
    if (options_.timeoutS > 0)
        noJobs_.start();
    if (options_.pace) {
        const receipt::PrinterProfile* model = receipt::FindPrinterProfile(options_.printer);
        PrintPace::Settings settings = *options_.pace;
        if (tcp_) {
            // What the system holds of a connection is part of the buffer,
            // as far as the system's least window lets it be.
            const long long kernel = tcp_->setLeastReceiveWindow();
            settings.buffer = std::max(settings.buffer - kernel, settings.buffer / 4);
        }
        paced_ = std::make_unique<PrinterInTime>(settings, model != nullptr ? *model : receipt::GenericProfile(),
                                                 options_.script, state_);
        paced_->hold = [this](bool held) { holdInput(held); };
        paced_->stateChanged = [this](const PrinterState&) { publishState(); };
        paced_->event = [this](const std::string& what) { printerEvent(what); };
        if (tcp_)
            tcp_->setReadRoom([this] {
                const PrintPace& pace = paced_->pace();
                return static_cast<std::size_t>(std::max(0LL, pace.settings().buffer - pace.waiting()));
            });
    }
    if (options_.http) {
        std::vector<std::string> machine;
        for (const QHostAddress& address : QNetworkInterface::allAddresses())
            machine.push_back(address.toString().toStdString());
        WebRules rules{options_.httpToken,
                       HostNamesFor(options_.http->address.toString().toStdString(), machine, options_.httpHosts), 0};
        WebSources sources{options_.out, options_.printer, [this] { return effectiveState(); },
                           [this](const PrinterState& state) { setStateByHand(state, ", set on the page"); },
                           (QCoreApplication::applicationDirPath() + QStringLiteral("/ostrel-replay")).toStdString()};
        web_ = std::make_unique<WebService>(std::move(rules), std::move(sources));
        if (!web_->listen(*options_.http, error))
            return false;
        say("the page and its API on http://" + web_->listeningOn() + "/");
    }
    told_ = effectiveState();
    if (!options_.stateFile.empty()) {
        readStateFile();
        stateWatch_.start();
    }
    sayReady();
    return true;
}

// A state set by hand (the state file, the page): the model stays who it
// is, and without paper-out a new roll is loaded where the last ran out,
// even when nothing else changes.
void CaptureService::setStateByHand(PrinterState state, const std::string& by)
{
    state.maker = state_.maker;
    state.model = state_.model;
    if (paced_)
        paced_->setState(state);
    if (state == state_)
        return;
    state_ = state;
    say("printer state now " + (PrinterStateList(state).empty() ? "the default" : PrinterStateList(state)) + by);
    publishState();
}

PrinterState CaptureService::effectiveState() const { return paced_ ? paced_->state() : state_; }

// The jobs' sessions answer from what the printer reports; peers with
// automatic status on hear of a change at once.
void CaptureService::publishState()
{
    const PrinterState state = effectiveState();
    for (JobCapture* job : {tcpJob_.get(), serialJob_.get()})
        if (job != nullptr)
            job->setPrinterState(state);
    if (web_ && state != told_) {
        told_ = state;
        web_->stateChanged();
    }
}

void CaptureService::printerEvent(const std::string& what)
{
    say(what);
    for (JobCapture* job : {tcpJob_.get(), serialJob_.get()})
        if (job != nullptr)
            job->printerEvent(what, paced_->pace().printed());
}

void CaptureService::paceTake(JobCapture& job, std::string_view chunk, ByteSource& from)
{
    paced_->take(chunk, &job, [&job, &from](const RealTimeRequest& request) { job.answerPrinted(from, request); });
}

// A full buffer: a network job is read no further, so the sender's writes
// block; the serial port says busy as the printer's handshake does.
void CaptureService::holdInput(bool held)
{
    if (tcp_)
        tcp_->holdReading(held);
    if (serial_ && serial_->PortOpen()) {
        if (options_.serial.hwHandshake)
            serial_->setRTSEnable(!held);
        else
            serial_->Output(held ? std::string_view("\x13") : std::string_view("\x11"));
    }
}

void CaptureService::sayReady()
{
    // Where it listens (or the serial device), one line: the port a script
    // gave as 0 is known from it.
    const std::string where = (tcp_ ? tcp_->listeningOn() : serial_->device()) + "\n";
    if (!readySaid_) {
        readySaid_ = true;
        ::sd_notify(0, ("READY=1\nSTATUS=taking jobs on " + where).c_str());
    }
    if (options_.readyFile.empty())
        return;
    struct stat about {};
    if (::stat(options_.readyFile.c_str(), &about) == 0 && S_ISFIFO(about.st_mode)) {
        // A FIFO a script reads from: written once its reader is there, so
        // the script waits without polling.
        const int fd = ::open(options_.readyFile.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENXIO)
            return readyRetry_.start(50);
        const bool written = fd >= 0 && ::write(fd, where.data(), where.size()) == static_cast<ssize_t>(where.size());
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (!written)
            say("cannot write " + QuotedForMessage(options_.readyFile) + ": " + std::strerror(error));
        return;
    }
    AtomicFileSet file;
    if (!file.stage(options_.readyFile, where) || !file.commit())
        say("cannot write " + file.error());
}

void CaptureService::readStateFile()
{
    // A missing file is the default state, so that removing it clears it;
    // anything else but a whole, well-formed file keeps the state as it is.
    const StateFileRead read = ReadStateFile(options_.stateFile);
    std::string seen = std::to_string(read.kind) + read.problem + "\n" + read.text;
    // With a roll, writing the same words again loads paper, so the time counts too.
    struct stat about {};
    if (paced_ && ::stat(options_.stateFile.c_str(), &about) == 0)
        seen += "\n" + std::to_string(about.st_mtim.tv_sec) + "." + std::to_string(about.st_mtim.tv_nsec);
    if (seen == stateSeen_)
        return;
    stateSeen_ = seen;
    const auto keep = [this](const std::string& why) {
        say(QuotedForMessage(options_.stateFile) + ": " + why + "; the state stays " +
            (PrinterStateList(state_).empty() ? "the default" : PrinterStateList(state_)));
    };
    std::string text = read.text;
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ',';
    PrinterState state;
    std::string error;
    if (read.kind == StateFileRead::Unusable)
        return keep(read.problem);
    if (read.kind == StateFileRead::Text && text.find_first_not_of(", ") == std::string::npos)
        return keep("it is empty (write the file beside it and rename it into place; \"clear\" is the default)");
    if (!ParsePrinterState(text, state, error))
        return keep(error);
    setStateByHand(state, "");
}

std::string CaptureService::listeningOn() const { return tcp_ ? tcp_->listeningOn() : ""; }

void CaptureService::bytesArrived(std::string_view chunk, ByteSource& from)
{
    // Bytes that arrive while stopping have no job to go to.
    if (!tcpJob_)
        return;
    tcpJob_->take(chunk, &from);
    if (paced_)
        paceTake(*tcpJob_, chunk, from);
    if (forward_) {
        tcpJob_->programSent(chunk);
        forward_->send(chunk);
    }
}

void CaptureService::sourceStopped(ByteSource& from, const std::string& why)
{
    endForwarding(forward_, tcpJob_.get());
    if (tcpJob_)
        finishJob(std::move(tcpJob_), why, from);
}

// Every byte goes on to the printer as it arrives, and every byte it answers
// goes back; the stand-in answers nothing of its own unless the printer fails
// and --forward-fallback says so.
std::unique_ptr<PrinterForward> CaptureService::startForwarding(JobCapture& job, ByteSource& program, bool tcp)
{
    job.setStatusControls(silent_);
    job.recordConversation(receipt::LanguageOfPrinter(options_.printer));
    std::unique_ptr<PrinterForward> forward;
    if (printerLine_) {
        forward = std::make_unique<PrinterForward>(
            [this](std::string_view bytes) {
                if (!printerLine_->PortOpen())
                    return false;
                printerLine_->Output(bytes);
                return true;
            },
            "serial:" + options_.forwardSerial);
    } else {
        forward = std::make_unique<PrinterForward>(options_.forwardHost, options_.forwardPort, kForwardBuffer);
    }
    PrinterForward* const link = forward.get();
    JobCapture* const capture = &job;
    link->clock = [capture] { return capture->sinceStartUs(); };
    link->answered = [capture, &program](std::string_view bytes) {
        capture->printerAnswered(bytes);
        program.sendReply(bytes);
    };
    if (tcp)
        link->congestion = [this](bool congested) {
            if (tcp_)
                tcp_->holdReading(congested);
        };
    link->failed = [this, capture, link, tcp](const std::string& why) {
        say("forward to " + QuotedForMessage(link->target()) + ": " + why +
            (options_.forwardFallbackAnswer ? "; the stand-in answers from now on" : "; nothing is answered"));
        if (options_.forwardFallbackAnswer)
            capture->setStatusControls(status_);
        if (tcp && tcp_)
            tcp_->holdReading(false);
    };
    link->open();
    return forward;
}

// The program's connection stays open while the printer takes what waits
// and answers the last requests, for at most a moment; the event loop goes on.
bool CaptureService::keepsEnded(ByteSource&, std::function<void()> release)
{
    if (!forward_)
        return false;
    forward_->close(kForwardLinger, std::move(release));
    return true;
}

void CaptureService::endForwarding(std::unique_ptr<PrinterForward>& forward, JobCapture* job)
{
    if (!forward)
        return;
    forward->close(kForwardLinger, nullptr); // closed already, but for a printer on a line
    if (job)
        job->forwardEnded(*forward);
    const bool tcp = forward.get() == forward_.get();
    forward.reset();
    if (tcp && tcp_)
        tcp_->holdReading(false);
}

void CaptureService::sourceStarted(ByteSource& connection)
{
    if (stopping_)
        return;
    noJobs_.stop();
    tcpJob_ = std::make_unique<JobCapture>(connection.sourceName(), status_, effectiveState(),
                                           options_.maxJobBytes, options_.printer);
    if (paced_) {
        tcpJob_->setAnswersAfterPrinting(paced_->pace().answersEveryRequest());
        tcpJob_->setPaceStart(paced_->pace().received());
    }
    if (!options_.forwardHost.empty() || printerLine_)
        forward_ = startForwarding(*tcpJob_, connection, true);
    progress("a job from " + connection.sourceName());
}

void CaptureService::takeSerial(std::string_view chunk)
{
    while (!chunk.empty()) {
        if (!serialJob_) {
            noJobs_.stop();
            serialJob_ = std::make_unique<JobCapture>(serialSource_->sourceName(), status_, effectiveState(),
                                                      options_.maxJobBytes, options_.printer);
            if (paced_) {
                serialJob_->setAnswersAfterPrinting(paced_->pace().answersEveryRequest());
                serialJob_->setPaceStart(paced_->pace().received());
            }
            serialCuts_.restart();
            if (!options_.forwardHost.empty() || printerLine_)
                serialForward_ = startForwarding(*serialJob_, *serialSource_, false);
            progress("a job from " + serialSource_->sourceName());
        }
        // A cut ends the job, found as the model's language frames it.
        const std::size_t cut = serialCuts_.feed(chunk);
        const bool cutDone = cut != std::string_view::npos;
        const std::size_t end = cutDone ? cut : chunk.size();
        serialJob_->take(chunk.substr(0, end), serialSource_.get());
        if (paced_)
            paceTake(*serialJob_, chunk.substr(0, end), *serialSource_);
        if (serialForward_) {
            serialJob_->programSent(chunk.substr(0, end));
            serialForward_->send(chunk.substr(0, end));
        }
        chunk.remove_prefix(end);
        if (cutDone)
            finishSerialJob("cut");
    }
    if (serialJob_)
        serialGap_.start();
}

void CaptureService::finishSerialJob(const std::string& why)
{
    serialGap_.stop();
    if (!serialJob_)
        return;
    if (!serialForward_)
        return finishJob(std::move(serialJob_), why, *serialSource_);
    // The printer takes what waits and answers the last requests, for at
    // most a moment, while the next job may begin.
    auto closing = std::make_unique<ClosingJob>(ClosingJob{std::move(serialJob_), std::move(serialForward_), why});
    ClosingJob* const at = closing.get();
    serialClosing_.push_back(std::move(closing));
    at->forward->close(kForwardLinger, [this, at] {
        QTimer::singleShot(0, this, [this, at] {
            const auto found = std::find_if(serialClosing_.begin(), serialClosing_.end(),
                                            [at](const auto& closing) { return closing.get() == at; });
            if (found == serialClosing_.end())
                return;
            std::unique_ptr<ClosingJob> done = std::move(*found);
            serialClosing_.erase(found);
            done->job->forwardEnded(*done->forward);
            done->forward.reset();
            finishJob(std::move(done->job), done->why, *serialSource_);
        });
    });
}

void CaptureService::finishJob(std::unique_ptr<JobCapture> job, const std::string& why,
                               const ByteSource& from)
{
    if (job->empty()) {
        if (paced_)
            paced_->forget(job.get());
        // A connection that sent nothing (a probe, a driver's check) is no job.
        job.reset();
        progress("a connection with no job ended: " + why);
        if (options_.timeoutS > 0 && !tcpJob_ && !serialJob_)
            noJobs_.start();
        maybeEnd();
        return;
    }
    if (paced_)
        paced_->forget(job.get());
    const JobRecord record = job->finish(why, nextNumber_++, from);
    job.reset();
    std::vector<std::string> files;
    std::string failure;
    if (!options_.out.empty() && !WriteJobFiles(options_.out, record, files, failure)) {
        // Reported, and the service goes on with the next job.
        say("job " + std::to_string(record.number) + " not saved: " + failure);
        failed_ = true;
    }
    if (!files.empty())
        prune();
    const std::string line = JobLineJson(record, files, failure);
    out_ << line << "\n" << std::flush;
    if (web_)
        web_->jobFinished(line);
    if (!out_) {
        say("cannot write to standard output");
        failed_ = true;
    }
    ++finishedJobs_;
    progress("job " + std::to_string(record.number) + " done: " + std::to_string(record.bytes.size()) +
             " bytes, " + why);
    if (options_.timeoutS > 0 && !tcpJob_ && !serialJob_)
        noJobs_.start();
    maybeEnd();
}

void CaptureService::maybeEnd()
{
    if (options_.jobs > 0 && finishedJobs_ >= options_.jobs && !stopping_)
        return stop();
    // A forwarded job still closing ends first.
    if (stopping_ && !tcpJob_ && !serialJob_ && serialClosing_.empty())
        end(failed_ ? 1 : 0);
}

void CaptureService::stop()
{
    if (stopping_)
        return;
    stopping_ = true;
    // Jobs in progress are finished and written first; no waiting one is
    // taken after them.
    if (tcp_) {
        tcp_->close();
        tcp_->endCurrentJob("stopped");
    }
    finishSerialJob("stopped");
    maybeEnd();
}

void CaptureService::end(int status)
{
    if (ended_)
        return;
    ended_ = true;
    if (tcp_)
        tcp_->close();
    if (serial_ && serial_->PortOpen())
        serial_->setPortOpen(false);
    if (ended)
        ended(status);
}

void CaptureService::prune()
{
    if (options_.keepJobs <= 0 && options_.maxDisk <= 0)
        return;
    std::string error;
    const auto removed = PruneJobs(options_.out, options_.keepJobs, options_.maxDisk, error);
    for (const long long number : removed)
        say("removed job " + std::to_string(number) + " to keep " +
            (options_.keepJobs > 0 ? "at most " + std::to_string(options_.keepJobs) + " jobs" : "") +
            (options_.keepJobs > 0 && options_.maxDisk > 0 ? " and " : "") +
            (options_.maxDisk > 0 ? "at most " + std::to_string(options_.maxDisk) + " bytes" : "") +
            " in " + QuotedForMessage(options_.out));
    if (!error.empty()) {
        say(error);
        failed_ = true;
    }
}

void CaptureService::progress(const std::string& line)
{
    // Only for a person watching: never into logs or pipes.
    if (::isatty(STDERR_FILENO))
        say(line);
}

void CaptureService::say(const std::string& line)
{
    // One write a line, so that whoever reads it never sees half of one.
    err_ << ("ostrel-capture: " + line + "\n") << std::flush;
}

int RunCaptureService(int argc, char** argv)
{
    ToolCommandLine line("ostrel-capture",
        QStringLiteral("A stand-in receipt printer without a window: takes print jobs from TCP and/or a serial\n"
                       "port, answers status requests, writes each job's files and prints one JSON line a job."));
    line.addListenOptions(QStringLiteral(
        "Take jobs on TCP (127.0.0.1 unless an address is given). One connection is one job; "
        "as a printer does, it takes one at a time, and the others wait their turn."));
    line.addSerialOptions();
    line.addStatusOptions();
    line.addStateOption();
    line.addPrinterOption();
    line.addPrinterInTimeOptions();
    const QCommandLineOption stateFile(QStringLiteral("state-file"),
                                       QStringLiteral("Read the state from FILE (the same list, commas or lines), "
                                                      "and again whenever it changes; no file is the default state, "
                                                      "\"clear\" too. Write it beside and rename it into place: a "
                                                      "file that is empty, unreadable, not a regular file or over "
                                                      "64 KiB keeps the state as it was, and says why."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Write job-NNNN.bin, .txt and .json into this folder."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption gap(QStringLiteral("job-gap"),
                                 QStringLiteral("Serial: a silence this long ends a job (default 2000)."),
                                 QStringLiteral("MS"), QStringLiteral("2000"));
    const QCommandLineOption jobs(QStringLiteral("jobs"), QStringLiteral("End after N jobs."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("End after S seconds without a job; with --jobs N, exit status 4 "
                                                    "when fewer than N jobs came by then."),
                                     QStringLiteral("S"), QStringLiteral("0"));
    const QCommandLineOption maxBytes(QStringLiteral("max-job-bytes"),
                                      QStringLiteral("Keep at most SIZE bytes of a job (K, M, G: KiB, MiB, GiB; "
                                                     "default 64M)."),
                                      QStringLiteral("SIZE"), QStringLiteral("64M"));
    const QCommandLineOption keep(QStringLiteral("keep"),
                                  QStringLiteral("With --out: keep only the newest N jobs' files (default: all)."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption ready(QStringLiteral("ready-file"),
                                   QStringLiteral("Once it listens, write where (127.0.0.1:9100) and a line end into "
                                                  "FILE, whole; a FIFO there is written when its reader comes, so a "
                                                  "script can wait with: read where < FILE. Under systemd it also "
                                                  "tells READY (Type=notify)."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption maxDisk(QStringLiteral("max-disk"),
                                     QStringLiteral("With --out: remove the oldest jobs' files while they take more "
                                                    "than SIZE bytes (K, M, G: KiB, MiB, GiB; default: no limit)."),
                                     QStringLiteral("SIZE"), QStringLiteral("0"));
    const QCommandLineOption forward(QStringLiteral("forward"),
                                     QStringLiteral("Pass each job on to the real printer at HOST[:PORT] (TCP, "
                                                    "default port 9100, one connection a job) or at "
                                                    "serial:DEVICE[,SETTINGS] (one open port), and its answers back "
                                                    "to the program, recording both ways. The stand-in answers "
                                                    "nothing itself; at most 1 MiB waits for a slow TCP printer, "
                                                    "then the program is read no further until it catches up."),
                                     QStringLiteral("TARGET"));
    const QCommandLineOption fallback(QStringLiteral("forward-fallback"),
                                      QStringLiteral("When the printer cannot be reached or fails mid-job: \"silent\" "
                                                     "(default), as an unplugged printer is, or \"answer\": the "
                                                     "stand-in answers from then on."),
                                      QStringLiteral("silent|answer"), QStringLiteral("silent"));
    const QCommandLineOption http(QStringLiteral("http"),
                                  QStringLiteral("Serve a page and a JSON API (README: \"In a browser\") on [ADDRESS:]PORT, "
                                                 "127.0.0.1 unless an address is given: the jobs live, their files, "
                                                 "and the printer state to read and change. Beyond the loopback it "
                                                 "needs --http-token."),
                                  QStringLiteral("[ADDRESS:]PORT"));
    const QCommandLineOption httpToken(QStringLiteral("http-token"),
                                       QStringLiteral("The token FILE holds (16 to 200 letters, digits, - or _): "
                                                      "every API request needs it, as \"Authorization: Bearer "
                                                      "TOKEN\" or given once on the page."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption httpHost(QStringLiteral("http-host"),
                                      QStringLiteral("Another name the page is reached by (a DNS name of this "
                                                     "machine); requests naming any other host are refused. "
                                                     "May be given more than once."),
                                      QStringLiteral("NAME"));
    for (const auto& option : {stateFile, out, gap, jobs, timeout, maxBytes, keep, maxDisk, ready, forward, fallback,
                               http, httpToken, httpHost})
        line.add(option);
    if (const auto answered = line.parse(ToolCommandLine::Arguments(argc, argv), std::cout, std::cerr))
        return *answered;
    const auto usage = [&line](const std::string& why) { return line.usage(why, std::cerr); };
    const QCommandLineParser& parser = line.parser();

    CaptureServiceOptions options;
    std::string error;
    long long value = 0;
    if (!line.noArguments(error) || !line.listen(options.listen, error) ||
        !line.jobLimits(options.tcpLimits, error) ||
        !line.statusBits(options.statusByte1, options.statusByte2, error))
        return usage(error);
    if (!line.serial(options.serial, error) || !line.needs(gap.names().constFirst(), QStringLiteral("serial"), error))
        return usage(error);
    options.statusReturn = line.statusReturn();
    if (!line.printerState(options.state, error))
        return usage(error);
    const receipt::PrinterProfile* profile = nullptr;
    if (!line.printerProfile(profile, error))
        return usage(error);
    options.printer = profile->id;
    if (parser.isSet(forward)) {
        const std::string target = LocalBytes(parser.value(forward));
        if (IsSerialTarget(target, options.forwardSerial, options.forwardSerialSettings)) {
            if (options.forwardSerial.empty())
                return usage("--forward: serial: needs a device, as in serial:/dev/ttyUSB0,9600,N,8,1");
            try {
                if (!options.forwardSerialSettings.empty())
                    ParseLineSettings(options.forwardSerialSettings);
            } catch (const SerialError& wrong) {
                return usage("--forward: " + QuotedForMessage(wrong.what()));
            }
        } else if (!ParseForwardTarget(target, options.forwardHost, options.forwardPort, error)) {
            return usage("--forward: " + error);
        }
    }
    if (!line.forwardFallback(options.forwardFallbackAnswer, error) ||
        !line.printerInTime(*profile, options.pace, options.script, error))
        return usage(error);
    if (parser.isSet(http)) {
        ListenAddress where;
        if (!ParseListenAddress(LocalBytes(parser.value(http)), where, error))
            return usage("--http: " + error);
        options.http = where;
    }
    if (!line.needs(httpToken.names().constFirst(), QStringLiteral("http"), error) ||
        !line.needs(httpHost.names().constFirst(), QStringLiteral("http"), error))
        return usage(error);
    if (parser.isSet(httpToken)) {
        const std::string path = LocalBytes(parser.value(httpToken));
        // Never waits on a FIFO: the printer port opens only after this.
        const StateFileRead read = ReadSecretFile(path);
        if (read.kind != StateFileRead::Text)
            return usage("--http-token: cannot " + std::string(read.kind == StateFileRead::Missing ? "open " : "use ") +
                         QuotedForMessage(path) + ": " + read.problem);
        std::string token = read.text;
        while (!token.empty() && (token.back() == '\n' || token.back() == '\r' || token.back() == ' '))
            token.pop_back();
        const bool fits = token.size() >= 16 && token.size() <= 200 &&
                          std::all_of(token.begin(), token.end(), [](unsigned char c) {
                              return std::isalnum(c) || c == '-' || c == '_';
                          });
        if (!fits)
            return usage("--http-token: " + QuotedForMessage(path) +
                         " must hold one token of 16 to 200 letters, digits, - or _");
        options.httpToken = token;
    }
    options.httpHosts.clear();
    for (const QString& name : parser.values(httpHost))
        options.httpHosts.push_back(LocalBytes(name));
    if (options.http && !options.http->address.isLoopback() && options.httpToken.empty())
        return usage("--http: " + ListenAddressText(options.http->address, options.http->port) +
                     " is reachable from other machines: give --http-token FILE, or listen on the loopback");
    if (options.pace && parser.isSet(forward))
        return usage("--forward: the real printer prints in its own time; leave out --print-speed, --buffer, "
                     "--roll and --script");
    if (profile != &receipt::GenericProfile()) {
        options.state.maker = profile->vendor;
        options.state.model = profile->model;
    }
    options.stateFile = LocalBytes(parser.value(stateFile));
    options.out = LocalBytes(parser.value(out));
    options.readyFile = LocalBytes(parser.value(ready));
    if (!line.number(gap.names().constFirst(), 1, 3600000, "milliseconds", value, error))
        return usage(error);
    options.jobGapMs = static_cast<int>(value);
    if (!line.number(jobs.names().constFirst(), 0, 1000000000, "a count of jobs", value, error))
        return usage(error);
    options.jobs = static_cast<int>(value);
    if (!line.number(timeout.names().constFirst(), 0, 1000000, "seconds", value, error))
        return usage(error);
    options.timeoutS = static_cast<int>(value);
    if (!line.size(maxBytes.names().constFirst(), value, error))
        return usage(error);
    if (value < 1)
        return usage("--max-job-bytes: takes a size of at least one byte");
    options.maxJobBytes = value;
    if (!line.number(keep.names().constFirst(), 0, 1LL << 40, "a count of jobs", value, error) ||
        !line.size(maxDisk.names().constFirst(), options.maxDisk, error))
        return usage(error);
    options.keepJobs = value;
    if ((options.keepJobs > 0 || options.maxDisk > 0) && options.out.empty())
        return usage(std::string(options.keepJobs > 0 ? "--keep" : "--max-disk") + ": has no effect without --out");
    if (!options.listen && options.serial.port.empty())
        return usage("nothing to take jobs from: give --listen [ADDRESS:]PORT and/or --serial N|DEVICE");

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-capture"));
    CaptureService service(options, std::cout, std::cerr);
    int status = 0;
    service.ended = [&status](int code) {
        status = code;
        QCoreApplication::exit(code);
    };
    if (!service.start(error)) {
        std::cerr << "ostrel-capture: " << error << std::endl;
        return 1;
    }
    // SIGTERM and SIGINT finish the job in progress and write its files.
    QuitOnSignals([&service] { service.stop(); });
    QCoreApplication::exec();
    return status;
}

} // namespace ostrel
