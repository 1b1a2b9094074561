#include "service/printer_unit.h"

#include "files/atomic_file.h"
#include "files/state_file.h"
#include "net/cloudprnt_client.h"
#include "net/lpd_port.h"
#include "net/server_direct_print_client.h"
#include "protocol/message_text.h"
#include "receipt/plain_job.h"
#include "render/picture_job.h"
#include "serial/port_number.h"
#include "service/web_print_intake.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

PrinterUnit::PrinterUnit(PrinterOptions options, std::ostream& err)
    : options_(std::move(options))
    , err_(err)
    , status_(options_.statusByte1, options_.statusByte2, options_.statusReturn)
    , silent_(options_.statusByte1, options_.statusByte2, false)
    , state_(options_.state)
    , serialCuts_(receipt::LanguageOfPrinter(options_.printer))
    , memory_(options_.printer, options_.out)
{
    stateWatch_.setInterval(200);
    connect(&stateWatch_, &QTimer::timeout, this, [this] { readStateFile(); });
    serialGap_.setSingleShot(true);
    serialGap_.setInterval(options_.jobGapMs);
    connect(&serialGap_, &QTimer::timeout, this, [this] { finishSerialJob("silence"); });
}

PrinterUnit::~PrinterUnit()
{
    // The ports outlive the jobs here; they must not report to them.
    if (tcp_)
        tcp_->feed(nullptr);
    if (serial_)
        serial_->OnComm = nullptr;
}

namespace {

    // What a server polled is told of a job: a printer that is stopping took
    // nothing, so the job is not confirmed as printed.
    PrinterState WholeJobState(const WholeJobDone& done)
    {
        PrinterState state = done.state;
        state.offline = state.offline || done.refused;
        return state;
    }

} // namespace

bool PrinterUnit::start(std::string& error)
{
    if (!options_.out.empty()) {
        std::error_code made;
        const bool created = std::filesystem::create_directories(options_.out, made);
        if (made || !std::filesystem::is_directory(options_.out)) {
            error = "cannot use the folder " + QuotedForMessage(options_.out) + ": "
                + (made ? made.message() : std::string("not a folder"));
            return false;
        }
        if (created)
            say("created the folder " + QuotedForMessage(options_.out));
        // Half-written files of a run that was killed go; its whole jobs stay.
        for (const std::string& stale : RemoveStaleTemporaries(options_.out))
            say("removed " + QuotedForMessage(stale)
                + ", left by a run that was killed while writing");
        for (const long long number : IncompleteJobs(options_.out))
            say("job " + std::to_string(number) + " in " + QuotedForMessage(options_.out)
                + " lacks some of its .bin, .txt and .json: a run was killed while writing it");
        nextNumber_ = NextJobNumber(options_.out);
    }
    for (const std::string& line : memory_.start())
        say(line);
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
        printerLine_
            = OpenPrinterLine(options_.forwardSerial, options_.forwardSerialSettings, error);
        if (!printerLine_)
            return false;
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
                say("the printer's serial port " + QuotedForMessage(options_.forwardSerial)
                    + " went away");
                printerLine_->OnComm = nullptr;
            }
        };
    }
    // Ports of other kinds
    if (options_.lpd) {
        LpdLimits limits;
        limits.mostDataBytes = options_.maxJobBytes;
        auto lpd = std::make_unique<LpdPort>(limits, options_.tcpLimits);
        if (!lpd->listen(*options_.lpd, error))
            return false;
        lpd->job = [this](LpdJob job, const std::string& peer) {
            std::vector<std::pair<std::string, std::string>> origin = LpdOrigin(job);
            printWhole({ "lpd " + peer, std::move(job.bytes), std::move(origin), {}, {} });
        };
        lpd->answer = [this](const LpdQuery& query) {
            return LpdQueueAnswer(query, options_.name, options_.printer, state());
        };
        lpd->said = [this](const std::string& line) { say(line); };
        say("listening for LPD on " + lpd->listeningOn());
        intakes_.push_back(std::move(lpd));
    }
    if (!options_.cloudPrnt.empty()) {
        CloudPrntClient::Settings settings;
        settings.url = options_.cloudPrnt;
        settings.pollInterval = std::chrono::seconds(options_.pollIntervalS);
        settings.caFile = options_.caFile;
        settings.maxJobBytes = options_.maxJobBytes;
        settings.printerName = options_.name;
        settings.profile = receipt::FindPrinterProfile(options_.printer);
        if (settings.profile == nullptr)
            settings.profile = &receipt::GenericProfile();
        auto cloud = std::make_unique<CloudPrntClient>(settings);
        cloud->state = [this] { return state(); };
        cloud->printed = [this] { return printed(); };
        cloud->print = [this, source = "cloudprnt " + UrlForMessage(options_.cloudPrnt)](
                           CloudPrntClient::Job job) {
            std::vector<std::pair<std::string, std::string>> origin { { "cloudprnt_media_type",
                job.mediaType } };
            if (!job.token.empty())
                origin.emplace_back("cloudprnt_job_token", job.token);
            const WholeJobDone done = printWhole({ source, std::move(job.commands),
                std::move(origin), std::move(job.document), std::move(job.documentExtension) });
            return CloudPrntClient::Printing { WholeJobState(done), done.printedAt };
        };
        cloud->picture
            = [model = settings.profile](std::string_view data, const receipt::JobEnding& ending,
                  bool dither, std::string& commands, std::string& why) {
                  return render::PictureCommands(data, *model, ending, dither, commands, why);
              };
        cloud->said = [this](const std::string& line) { say(line); };
        if (!cloud->start(error))
            return false;
        say("polling the CloudPRNT server " + UrlForMessage(options_.cloudPrnt) + " every "
            + std::to_string(options_.pollIntervalS) + " s, as MAC address " + cloud->macAddress());
        cloud->settled = [this] { settled(); };
        intakes_.push_back(std::move(cloud));
    }
    if (options_.webPrint) {
        auto web = std::make_unique<WebPrintIntake>(*this);
        web->said = [this](const std::string& line) { say(line); };
        if (!web->listen(*options_.webPrint, error))
            return false;
        say("listening for ePOS-Print and WebPRNT on " + web->listeningOn());
        web->settled = [this] { settled(); };
        intakes_.push_back(std::move(web));
    }
    if (!options_.serverDirectPrint.empty()) {
        ServerDirectPrintClient::Settings settings;
        settings.url = options_.serverDirectPrint;
        settings.id = options_.sdpId;
        settings.name = options_.name;
        settings.printer = options_.printer;
        settings.pollInterval = std::chrono::seconds(options_.pollIntervalS);
        settings.caFile = options_.caFile;
        settings.maxJobBytes = options_.maxJobBytes;
        auto sdp = std::make_unique<ServerDirectPrintClient>(settings);
        sdp->state = [this] { return state(); };
        sdp->printed = [this] { return printed(); };
        sdp->print = [this,
                         source
                         = "server-direct-print " + UrlForMessage(options_.serverDirectPrint)](
                         ServerDirectPrintClient::Job job) {
            std::vector<std::pair<std::string, std::string>> origin { { "sdp_devid", job.devid } };
            if (!job.printJobId.empty())
                origin.emplace_back("sdp_printjobid", job.printJobId);
            const WholeJobDone done = printWhole({ source, std::move(job.commands),
                std::move(origin), std::move(job.document), "xml" });
            return ServerDirectPrintClient::Printing { WholeJobState(done), done.printedAt };
        };
        sdp->said = [this](const std::string& line) { say(line); };
        if (!sdp->start(error))
            return false;
        say("asking the Server Direct Print server " + UrlForMessage(options_.serverDirectPrint)
            + " every " + std::to_string(options_.pollIntervalS) + " s, as ID "
            + QuotedForMessage(options_.sdpId));
        sdp->settled = [this] { settled(); };
        intakes_.push_back(std::move(sdp));
    }
    if (!tcp_ && !serial_ && intakes_.empty()) {
        error = "nothing to capture from: give --listen, --serial, --lpd, --web-print, --cloudprnt "
                "or "
                "--server-direct-print";
        return false;
    }
    if (options_.pace) {
        const receipt::PrinterProfile* model = receipt::FindPrinterProfile(options_.printer);
        PrintPace::Settings settings = *options_.pace;
        if (tcp_) {
            // What the system holds of a connection is part of the buffer,
            // as far as the system's least window lets it be.
            const long long kernel = tcp_->setLeastReceiveWindow();
            settings.buffer = std::max(settings.buffer - kernel, settings.buffer / 4);
        }
        paced_ = std::make_unique<PrinterInTime>(settings,
            model != nullptr ? *model : receipt::GenericProfile(), options_.script, state_);
        paced_->hold = [this](bool held) { holdInput(held); };
        paced_->stateChanged = [this](const PrinterState&) { publishState(); };
        paced_->event = [this](const std::string& what) { printerEvent(what); };
        if (tcp_)
            tcp_->setReadRoom([this] {
                const PrintPace& pace = paced_->pace();
                return static_cast<std::size_t>(
                    std::max(0LL, pace.settings().buffer - pace.waiting()));
            });
    }
    told_ = state();
    if (!options_.stateFile.empty()) {
        readStateFile();
        stateWatch_.start();
    }
    return true;
}

// A state set by hand (the state file, the page): the model stays who it
// is, and without paper-out a new roll is loaded where the last ran out,
// even when nothing else changes.
void PrinterUnit::setStateByHand(PrinterState state, const std::string& by)
{
    state.maker = state_.maker;
    state.model = state_.model;
    if (paced_)
        paced_->setState(state);
    if (state == state_)
        return;
    state_ = state;
    say("printer state now "
        + (PrinterStateList(state).empty() ? "the default" : PrinterStateList(state)) + by);
    publishState();
}

PrinterState PrinterUnit::state() const { return paced_ ? paced_->state() : state_; }

// The jobs' sessions answer from what the printer reports; peers with
// automatic status on hear of a change at once.
void PrinterUnit::publishState()
{
    const PrinterState now = state();
    for (JobCapture* job : { tcpJob_.get(), serialJob_.get() })
        if (job != nullptr)
            job->setPrinterState(now);
    if (now != told_) {
        told_ = now;
        if (stateChanged)
            stateChanged();
    }
}

void PrinterUnit::printerEvent(const std::string& what)
{
    say(what);
    for (JobCapture* job : { tcpJob_.get(), serialJob_.get() })
        if (job != nullptr)
            job->printerEvent(what, paced_->pace().printed());
}

void PrinterUnit::paceTake(JobCapture& job, std::string_view chunk, ByteSource& from)
{
    paced_->take(chunk, &job,
        [&job, &from](const RealTimeRequest& request) { job.answerPrinted(from, request); });
}

// A full buffer: a network job is read no further, so the sender's writes
// block; the serial port says busy as the printer's handshake does.
void PrinterUnit::holdInput(bool held)
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

void PrinterUnit::readStateFile()
{
    // A missing file is the default state, so that removing it clears it;
    // anything else but a whole, well-formed file keeps the state as it is.
    const StateFileRead read = ReadStateFile(options_.stateFile);
    std::string seen = std::to_string(read.kind) + read.problem + "\n" + read.text;
    // With a roll, writing the same words again loads paper, so the time counts too.
    struct stat about { };
    if (paced_ && ::stat(options_.stateFile.c_str(), &about) == 0)
        seen += "\n" + std::to_string(about.st_mtim.tv_sec) + "."
            + std::to_string(about.st_mtim.tv_nsec);
    if (seen == stateSeen_)
        return;
    stateSeen_ = seen;
    const auto keep = [this](const std::string& why) {
        say(QuotedForMessage(options_.stateFile) + ": " + why + "; the state stays "
            + (PrinterStateList(state_).empty() ? "the default" : PrinterStateList(state_)));
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
        return keep("it is empty (write the file beside it and rename it into place; \"clear\" is "
                    "the default)");
    if (!ParsePrinterState(text, state, error))
        return keep(error);
    setStateByHand(state, "");
}

std::string PrinterUnit::listeningOn() const { return tcp_ ? tcp_->listeningOn() : ""; }

void PrinterUnit::bytesArrived(std::string_view chunk, ByteSource& from)
{
    // Bytes that arrive while stopping have no job to go to.
    if (!tcpJob_)
        return;
    tcpJob_->take(chunk, &from);
    memory_.take(tcpJob_.get(), chunk);
    if (paced_)
        paceTake(*tcpJob_, chunk, from);
    if (forward_) {
        tcpJob_->programSent(chunk);
        forward_->send(chunk);
    }
}

void PrinterUnit::sourceStopped(ByteSource& from, const std::string& why)
{
    endForwarding(forward_, tcpJob_.get());
    if (tcpJob_)
        finishJob(std::move(tcpJob_), why, from);
}

// Every byte goes on to the printer as it arrives, and every byte it answers
// goes back; the stand-in answers nothing of its own unless the printer fails
// and --forward-fallback says so.
std::unique_ptr<PrinterForward> PrinterUnit::startForwarding(
    JobCapture& job, ByteSource& program, bool tcp)
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
        forward = std::make_unique<PrinterForward>(
            options_.forwardHost, options_.forwardPort, kForwardBuffer);
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
        say("forward to " + QuotedForMessage(link->target()) + ": " + why
            + (options_.forwardFallbackAnswer ? "; the stand-in answers from now on"
                                              : "; nothing is answered"));
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
bool PrinterUnit::keepsEnded(ByteSource&, std::function<void()> release)
{
    if (!forward_)
        return false;
    forward_->close(kForwardLinger, std::move(release));
    return true;
}

void PrinterUnit::endForwarding(std::unique_ptr<PrinterForward>& forward, JobCapture* job)
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

void PrinterUnit::sourceStarted(ByteSource& connection)
{
    if (stopping_)
        return;
    if (jobStarted)
        jobStarted();
    tcpJob_ = std::make_unique<JobCapture>(connection.sourceName(), status_, state(),
        options_.maxJobBytes, options_.printer, options_.name);
    tcpJob_->setKept(kept_, &connection);
    if (paced_) {
        tcpJob_->setAnswersAfterPrinting(paced_->pace().answersEveryRequest());
        tcpJob_->setPaceStart(paced_->pace().received());
    }
    if (!options_.forwardHost.empty() || printerLine_)
        forward_ = startForwarding(*tcpJob_, connection, true);
    progress("a job from " + connection.sourceName());
}

void PrinterUnit::takeSerial(std::string_view chunk)
{
    while (!chunk.empty()) {
        if (!serialJob_) {
            if (jobStarted)
                jobStarted();
            serialJob_ = std::make_unique<JobCapture>(serialSource_->sourceName(), status_, state(),
                options_.maxJobBytes, options_.printer, options_.name);
            serialJob_->setKept(kept_, serialSource_.get());
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
        memory_.take(serialJob_.get(), chunk.substr(0, end));
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

void PrinterUnit::finishSerialJob(const std::string& why)
{
    serialGap_.stop();
    if (!serialJob_)
        return;
    if (!serialForward_) {
        finishJob(std::move(serialJob_), why, *serialSource_);
        return;
    }
    // The printer takes what waits and answers the last requests, for at
    // most a moment, while the next job may begin.
    auto closing = std::make_unique<ClosingJob>(
        ClosingJob { std::move(serialJob_), std::move(serialForward_), why });
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

std::string PrinterUnit::finishJob(
    std::unique_ptr<JobCapture> job, const std::string& why, const ByteSource& from)
{
    kept_ = job->kept();
    const PrinterMemoryKeeper::Ended memory = memory_.finished(job.get());
    if (job->empty()) {
        if (paced_)
            paced_->forget(job.get());
        // A connection that sent nothing (a probe, a driver's check) is no job.
        job.reset();
        progress("a connection with no job ended: " + why);
        if (idle)
            idle();
        return {};
    }
    if (paced_)
        paced_->forget(job.get());
    JobRecord record = job->finish(why, nextNumber_++, from);
    record.memory = memory.json();
    job.reset();
    std::vector<std::string> files;
    std::string failure;
    lastSaved_ = true;
    if (!options_.out.empty() && !WriteJobFiles(options_.out, record, files, failure)) {
        lastSaved_ = false;
        // Reported, and the service goes on with the next job.
        say("job " + std::to_string(record.number) + " not saved: " + failure);
        failed_ = true;
    }
    if (!files.empty())
        prune();
    // What the job left in the printer's memory; a definition refused is
    // always said, as the printer would have dropped it.
    const std::string numbered = "job " + std::to_string(record.number) + ": ";
    for (const std::string& change : memory.changes)
        progress(numbered + change);
    for (const std::string& why : memory.refused)
        say(numbered + why);
    if (!memory.failure.empty()) {
        say(numbered + "the printer's memory could not be written: " + memory.failure);
        failed_ = true;
    }
    const std::string line = JobLineJson(record, files, failure);
    if (jobFinished)
        jobFinished(line);
    progress("job " + std::to_string(record.number)
        + " done: " + std::to_string(record.bytes.size()) + " bytes, " + why);
    if (idle)
        idle();
    return line;
}

namespace {

    // Where a whole job's answers go: nowhere, as no one waits on its port.
    class WholeJobSource : public ByteSource {
    public:
        explicit WholeJobSource(std::string name)
            : name_(std::move(name))
        {
        }
        std::string sourceName() const override { return name_; }
        void sendReply(std::string_view) override { }
        ReplyDelivery replyDelivery() const override
        {
            return { 0, "the port it came by takes no answers" };
        }

    private:
        std::string name_;
    };

} // namespace

WholeJobDone PrinterUnit::printWhole(WholeJob whole)
{
    WholeJobDone done;
    WholeJobSource from(whole.source);
    if (stopping_) {
        done.state = state();
        done.refused = true;
        return done;
    }
    if (jobStarted)
        jobStarted();
    auto job = std::make_unique<JobCapture>(
        whole.source, status_, state(), options_.maxJobBytes, options_.printer, options_.name);
    job->setKept(kept_, &from);
    if (paced_) {
        job->setAnswersAfterPrinting(paced_->pace().answersEveryRequest());
        job->setPaceStart(paced_->pace().received());
    }
    // In slices, as a connection's reads come: each slice goes through every
    // reader while it is still in the cache.
    constexpr std::size_t kSlice = 256 * 1024;
    for (std::size_t at = 0; at < whole.bytes.size(); at += kSlice) {
        const std::string_view slice = std::string_view(whole.bytes).substr(at, kSlice);
        job->take(slice, &from);
        memory_.take(job.get(), slice);
    }
    if (paced_)
        paced_->take(whole.bytes, job.get(), [](const RealTimeRequest&) {});
    done.printedAt = received();
    job->keepDocument(
        std::move(whole.origin), std::move(whole.document), std::move(whole.documentEnding));
    const long long before = nextNumber_;
    done.line = finishJob(std::move(job), "end of the document", from);
    done.number = nextNumber_ != before ? before : 0;
    done.saved = lastSaved_;
    done.state = state();
    return done;
}

long long PrinterUnit::printed() const
{
    return paced_ ? paced_->pace().printed() : std::numeric_limits<long long>::max();
}

long long PrinterUnit::received() const { return paced_ ? paced_->pace().received() : 0; }

bool PrinterUnit::busy() const
{
    if (tcpJob_ || serialJob_ || !serialClosing_.empty())
        return true;
    // A cloud job fetched and not yet confirmed to its server, or a web
    // till's answer still going out.
    for (const auto& intake : intakes_) {
        if (const auto* cloud = dynamic_cast<const CloudPrntClient*>(intake.get());
            cloud && cloud->busy())
            return true;
        if (const auto* sdp = dynamic_cast<const ServerDirectPrintClient*>(intake.get());
            sdp && sdp->busy())
            return true;
        // A web till's answer not yet written.
        if (const auto* web = dynamic_cast<const WebPrintIntake*>(intake.get()); web && web->busy())
            return true;
    }
    return false;
}

// A port of another kind is done with what kept it busy.
void PrinterUnit::settled()
{
    if (!busy() && idle)
        idle();
}

void PrinterUnit::stop()
{
    if (stopping_)
        return;
    // LPD conversations end now, what they received printed while the
    // printer still takes jobs.
    for (const auto& intake : intakes_)
        if (auto* lpd = dynamic_cast<LpdPort*>(intake.get()))
            lpd->close();
    stopping_ = true;
    // Jobs in progress are finished and written first; no waiting one is
    // taken after them.
    if (tcp_) {
        tcp_->close();
        tcp_->endCurrentJob("stopped");
    }
    finishSerialJob("stopped");
    if (busy())
        return; // a forwarded job still closing says idle when done
    if (tcp_)
        tcp_->close();
    if (serial_ && serial_->PortOpen())
        serial_->setPortOpen(false);
    if (idle)
        idle();
}

void PrinterUnit::prune()
{
    if (options_.keepJobs <= 0 && options_.maxDisk <= 0)
        return;
    std::string error;
    const auto removed = PruneJobs(options_.out, options_.keepJobs, options_.maxDisk, error);
    for (const long long number : removed)
        say("removed job " + std::to_string(number) + " to keep "
            + (options_.keepJobs > 0 ? "at most " + std::to_string(options_.keepJobs) + " jobs"
                                     : "")
            + (options_.keepJobs > 0 && options_.maxDisk > 0 ? " and " : "")
            + (options_.maxDisk > 0 ? "at most " + std::to_string(options_.maxDisk) + " bytes" : "")
            + " in " + QuotedForMessage(options_.out));
    if (!error.empty()) {
        say(error);
        failed_ = true;
    }
}

void PrinterUnit::progress(const std::string& line)
{
    // Only for a person watching: never into logs or pipes.
    if (::isatty(STDERR_FILENO))
        say(line);
}

void PrinterUnit::say(const std::string& line)
{
    if (said)
        return said(line);
    // One write a line, so that whoever reads it never sees half of one.
    err_ << ("ostrel-capture: " + line + "\n") << std::flush;
}

std::string PrinterUnit::where() const
{
    if (tcp_)
        return tcp_->listeningOn();
    if (serial_)
        return serial_->device();
    // A printer with ports of other kinds only: the first, named by kind.
    for (const auto& intake : intakes_) {
        if (const auto* lpd = dynamic_cast<const LpdPort*>(intake.get()))
            return "lpd " + lpd->listeningOn();
        if (const auto* web = dynamic_cast<const WebPrintIntake*>(intake.get()))
            return "web-print " + web->listeningOn();
    }
    if (!options_.cloudPrnt.empty())
        return "cloudprnt " + options_.cloudPrnt;
    return options_.serverDirectPrint.empty() ? ""
                                              : "server-direct-print " + options_.serverDirectPrint;
}

} // namespace ostrel
