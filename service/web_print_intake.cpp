#include "service/web_print_intake.h"

#include "net/epos_print_document.h"
#include "net/webprnt_document.h"
#include "protocol/message_text.h"
#include "receipt/printer_profile.h"
#include "service/printer_unit.h"

#include <algorithm>

namespace ostrel {

namespace {

    // Epson's ASB_PRINT_SUCCESS: the job printed.
    constexpr std::uint32_t kPrintSuccess = 0x00000002;

    WebPrintLimits LimitsFor(const PrinterOptions& options)
    {
        WebPrintLimits limits;
        limits.mostBodyBytes
            = std::min({ options.maxJobBytes, kEposMaxDocumentBytes, kWebPrntMaxDocumentBytes });
        return limits;
    }

    const receipt::PrinterProfile& ModelOf(const PrinterOptions& options)
    {
        const receipt::PrinterProfile* model = receipt::FindPrinterProfile(options.printer);
        return model ? *model : receipt::GenericProfile();
    }

    std::string ModelName(const receipt::PrinterProfile& model)
    {
        return model.vendor.empty() ? model.id
                                    : model.vendor + " " + model.model + " (" + model.id + ")";
    }

    WebPrintAnswer Text(int status, const std::string& text)
    {
        return { status, "text/plain; charset=utf-8", QByteArray::fromStdString(text + "\n") };
    }

    // The program is ending: the document is not taken, and the till is told
    // so rather than that it printed.
    WebPrintAnswer Stopping(const std::string& peer)
    {
        return Text(503, "the printer is stopping; " + peer + "'s document was not taken");
    }

} // namespace

WebPrintIntake::WebPrintIntake(PrinterUnit& printer)
    : printer_(printer)
    , port_(LimitsFor(printer.options()), printer.options().webPrintOrigins)
{
    port_.said = [this](const std::string& line) { say(line); };
    port_.settled = [this] {
        if (settled && !busy())
            settled();
    };
    port_.route("/cgi-bin/epos/service.cgi",
        [this](const WebPrintRequest& request, WebPrintPort::Respond respond) {
            epos(request, std::move(respond));
        });
    port_.route("/cgi-bin/eposDisp/service.cgi",
        [this](const WebPrintRequest& request, WebPrintPort::Respond respond) {
            display(request, std::move(respond));
        });
    port_.route("/StarWebPRNT/SendMessage",
        [this](const WebPrintRequest& request, WebPrintPort::Respond respond) {
            webPrnt(request, std::move(respond));
        });
    poll_.setInterval(2);
    connect(&poll_, &QTimer::timeout, this, &WebPrintIntake::check);
}

WebPrintIntake::~WebPrintIntake()
{
    said = nullptr;
    port_.said = nullptr;
}

bool WebPrintIntake::listen(const ListenAddress& where, std::string& error)
{
    return port_.listen(where, error);
}

void WebPrintIntake::say(const std::string& line)
{
    if (said)
        said(line);
}

void WebPrintIntake::epos(const WebPrintRequest& request, WebPrintPort::Respond respond)
{
    const PrinterOptions& options = printer_.options();
    const receipt::PrinterProfile& model = ModelOf(options);
    if (model.language != receipt::Language::EscPos) {
        // The model's name says its language ("Star TSP100IV, StarPRNT").
        say("epos " + request.peer + ": refused: the printer is the " + ModelName(model)
            + ", which has no ePOS-Print");
        return respond(Text(404,
            "ePOS-Print is Epson's: this printer is the " + ModelName(model)
                + (SpeaksWebPrnt(model) ? "; post Star WebPRNT to /StarWebPRNT/SendMessage" : "")));
    }
    long long timeout = kDefaultTimeoutMs;
    const QByteArray timeoutText = request.queryItem("timeout");
    if (!timeoutText.isEmpty()) {
        bool ok = false;
        timeout = timeoutText.toLongLong(&ok);
        if (!ok || timeout < 0)
            timeout = kDefaultTimeoutMs;
        timeout = std::min(timeout, kMostTimeoutMs);
    }
    const PrinterState before = printer_.state();
    std::string error;
    const EposPrintRequest document = ReadEposPrintRequest(request.body, error, options.printer);
    if (!error.empty()) {
        say("epos " + request.peer + ": SchemaError: " + error);
        return respond({ 200, "text/xml; charset=utf-8",
            EposPrintResponse(false, "SchemaError", EposStatus(before)) });
    }
    if (document.statusOnly)
        return respond(
            { 200, "text/xml; charset=utf-8", EposPrintResponse(true, "", EposStatus(before)) });

    // A printer that cannot print says so at once; what came is kept all the
    // same. One put offline, or feeding paper, holds the job until it is
    // back or the till's timeout has passed.
    const std::string code = EposErrorCode(before);
    const bool held = code == "EX_TIMEOUT";
    const std::string refused = held ? "" : code;
    WholeJob job;
    job.source = "epos " + request.peer;
    job.bytes = document.commands;
    const std::string devid = request.queryItem("devid").left(64).toStdString();
    if (!devid.empty())
        job.origin.emplace_back("epos_devid", devid);
    const std::string answer = held ? "held offline" : refused.empty() ? "success" : refused;
    job.origin.emplace_back("epos_answer", answer);
    job.document = request.body.toStdString();
    job.documentEnding = "xml";
    const WholeJobDone done = printer_.printWhole(std::move(job));
    if (done.refused)
        return respond(Stopping(request.peer));
    if (!refused.empty())
        return respond({ 200, "text/xml; charset=utf-8",
            EposPrintResponse(false, refused, EposStatus(done.state)) });
    if (!held && printer_.printed() >= done.printedAt) {
        return respond({ 200, "text/xml; charset=utf-8",
            EposPrintResponse(true, "", EposStatus(done.state) | kPrintSuccess) });
    }
    waiting_.push_back(
        { done.printedAt, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout),
            std::move(respond), false, held });
    if (!poll_.isActive())
        poll_.start();
}

// Waits on the printer in time: an answer goes once the job has printed,
// the printer has stopped on an error, or the till's timeout has passed.
void WebPrintIntake::check()
{
    const auto now = std::chrono::steady_clock::now();
    const long long printed = printer_.printed();
    const PrinterState state = printer_.state();
    const std::string error = EposErrorCode(state);
    std::vector<Waiting> answered;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        const bool done = printed >= it->printedAt && !(it->held && state.isOffline());
        // Stopped by the cover or the paper: the job will not print until
        // someone sees to it, and the till is told now.
        const bool stopped = !error.empty() && error != "EX_TIMEOUT";
        if (it->webPrnt && (done || state.isOffline() || now >= it->deadline)) {
            // WebPRNT has no timeout code: a job not printed is the printer's state.
            answered.push_back(std::move(*it));
            it = waiting_.erase(it);
            answered.back().respond({ 200, "text/xml; charset=utf-8",
                WebPrntResponse(state, done, done ? "0" : WebPrntCode(state)) });
        } else if (it->webPrnt) {
            ++it;
        } else if (done || stopped || now >= it->deadline) {
            answered.push_back(std::move(*it));
            it = waiting_.erase(it);
            const std::string code = done ? "" : stopped ? error : "EX_TIMEOUT";
            answered.back().respond({ 200, "text/xml; charset=utf-8",
                EposPrintResponse(done, code, EposStatus(state) | (done ? kPrintSuccess : 0)) });
        } else {
            ++it;
        }
    }
    if (waiting_.empty())
        poll_.stop();
}

void WebPrintIntake::display(const WebPrintRequest& request, WebPrintPort::Respond respond)
{
    // A printer has no customer display of its own: the SDK's probe of one
    // is told there is no such device, which it takes as no display.
    say("epos " + request.peer
        + ": no customer display here (/cgi-bin/eposDisp/service.cgi): DeviceNotFound");
    respond({ 200, "text/xml; charset=utf-8", EposPrintResponse(false, "DeviceNotFound", 0) });
}

void WebPrintIntake::webPrnt(const WebPrintRequest& request, WebPrintPort::Respond respond)
{
    const PrinterOptions& options = printer_.options();
    const receipt::PrinterProfile& model = ModelOf(options);
    if (!SpeaksWebPrnt(model)) {
        say("webprnt " + request.peer + ": refused: the printer is the " + ModelName(model)
            + ", of " + receipt::LanguageName(model.language) + ", which has no WebPRNT");
        return respond(Text(404,
            "WebPRNT is Star's: this printer is the " + ModelName(model) + ", of "
                + receipt::LanguageName(model.language)
                + (model.language == receipt::Language::EscPos
                        ? "; post Epson ePOS-Print to /cgi-bin/epos/service.cgi"
                        : "")));
    }
    std::string error;
    const WebPrntRequest document = ReadWebPrntRequest(request.body, model, error);
    const PrinterState before = printer_.state();
    if (!error.empty()) {
        say("webprnt " + request.peer + ": refused: " + error);
        return respond(Text(400, "WebPRNT document refused: " + error));
    }
    if (document.statusOnly)
        return respond({ 200, "text/xml; charset=utf-8",
            WebPrntResponse(before, !before.isOffline(), WebPrntCode(before)) });
    WholeJob job;
    job.source = "webprnt " + request.peer;
    job.bytes = document.commands;
    job.origin.emplace_back("webprnt_answer", before.isOffline() ? "offline" : "success");
    job.document = request.body.toStdString();
    job.documentEnding = "xml";
    const WholeJobDone done = printer_.printWhole(std::move(job));
    if (done.refused)
        return respond(Stopping(request.peer));
    // A printer that cannot print says so at once; what came is kept all the same.
    if (before.isOffline() || !document.checkedBlock || printer_.printed() >= done.printedAt)
        return respond({ 200, "text/xml; charset=utf-8",
            WebPrntResponse(done.state, !before.isOffline(), WebPrntCode(before)) });
    // checkedblock: Star's printer answers once the job has printed, or the
    // printer has stopped; the trader's own timeout ends a longer wait.
    waiting_.push_back({ done.printedAt,
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kMostTimeoutMs),
        std::move(respond), true });
    if (!poll_.isActive())
        poll_.start();
}

} // namespace ostrel
