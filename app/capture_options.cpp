#include "app/capture_options.h"

#include "app/quit_on_signals.h"
#include "app/tool_options.h"
#include "files/state_file.h"
#include "net/printer_forward.h"
#include "protocol/message_text.h"
#include "serial/line_settings.h"
#include "service/capture_service.h"
#include "web/web_service.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkInterface>

#include <algorithm>
#include <cctype>
#include <iostream>

namespace ostrel {

namespace {

// --http and what goes with it.
struct WebOptions {
    std::optional<ListenAddress> http;
    std::string token;
    std::vector<std::string> hosts;
};

// The page and its API over the service's printers.
std::unique_ptr<WebService> ServePage(const WebOptions& web, CaptureService& service, std::string& error)
{
    std::vector<std::string> machine;
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        machine.push_back(address.toString().toStdString());
    WebRules rules{web.token, HostNamesFor(web.http->address.toString().toStdString(), machine, web.hosts), 0};
    PrinterUnit& printer = *service.printers().front();
    WebSources sources{printer.options().out, printer.options().printer, [&printer] { return printer.state(); },
                       [&printer](const PrinterState& state) { printer.setStateByHand(state, ", set on the page"); },
                       (QCoreApplication::applicationDirPath() + QStringLiteral("/ostrel-replay")).toStdString()};
    auto page = std::make_unique<WebService>(std::move(rules), std::move(sources));
    if (!page->listen(*web.http, error))
        return nullptr;
    WebService* const at = page.get();
    service.jobFinished = [at](PrinterUnit&, const std::string& line) { at->jobFinished(line); };
    service.stateChanged = [at](PrinterUnit&) { at->stateChanged(); };
    service.say("the page and its API on http://" + page->listeningOn() + "/");
    return page;
}

} // namespace

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
    WebOptions web;
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
        web.http = where;
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
        web.token = token;
    }
        for (const QString& name : parser.values(httpHost))
        web.hosts.push_back(LocalBytes(name));
    if (web.http && !web.http->address.isLoopback() && web.token.empty())
        return usage("--http: " + ListenAddressText(web.http->address, web.http->port) +
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
    std::unique_ptr<WebService> page;
    if (web.http) {
        page = ServePage(web, service, error);
        if (!page) {
            std::cerr << "ostrel-capture: " << error << std::endl;
            return 1;
        }
    }
    service.announceReady();
    // SIGTERM and SIGINT finish the job in progress and write its files.
    QuitOnSignals([&service] { service.stop(); });
    QCoreApplication::exec();
    return status;
}

} // namespace ostrel
