#include "app/capture_options.h"

#include "app/config_file.h"
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
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

namespace ostrel {

namespace {

    // --http and what goes with it.
    struct WebOptions {
        std::optional<ListenAddress> http;
        std::string token;
        std::vector<std::string> hosts;
    };

    // The page and its API over the service's printers.
    std::unique_ptr<WebService> ServePage(
        const WebOptions& web, CaptureService& service, std::string& error)
    {
        std::vector<std::string> machine;
        for (const QHostAddress& address : QNetworkInterface::allAddresses())
            machine.push_back(address.toString().toStdString());
        WebRules rules { web.token,
            HostNamesFor(web.http->address.toString().toStdString(), machine, web.hosts), 0 };
        std::vector<WebSources> printers;
        for (const auto& unit : service.printers()) {
            PrinterUnit& printer = *unit;
            WebSources sources { printer.name(), printer.where(), printer.options().out,
                printer.options().printer, [&printer] { return printer.state(); },
                [&printer](const PrinterState& state) {
                    printer.setStateByHand(state, ", set on the page");
                },
                (QCoreApplication::applicationDirPath() + QStringLiteral("/ostrel-replay"))
                    .toStdString(),
                {} };
            PrinterMemoryKeeper& memory = printer.memory();
            sources.memory
                = { [&memory] { return memory.json(); }, [&memory] { return memory.revision(); },
                      [&memory](std::string& why) { return memory.clear(why); },
                      [&memory] { return memory.folder(); } };
            printers.push_back(std::move(sources));
        }
        auto page = std::make_unique<WebService>(std::move(rules), std::move(printers));
        if (!page->listen(*web.http, error))
            return nullptr;
        WebService* const at = page.get();
        service.jobFinished = [at](PrinterUnit& printer, const std::string& line) {
            at->jobFinished(printer.name(), line);
        };
        service.stateChanged = [at](PrinterUnit& printer) { at->stateChanged(printer.name()); };
        service.say("the page and its API on http://" + page->listeningOn() + "/");
        return page;
    }

    // The options of ostrel-capture, defined once: those that make a printer,
    // which are the keys of --config's sections too, and with `program` those
    // of the program as a whole.
    void AddOptions(ToolCommandLine& line, bool program)
    {
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
            QStringLiteral(
                "Serve a page and a JSON API (README: \"In a browser\") on [ADDRESS:]PORT, "
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
        const QCommandLineOption lpd(QStringLiteral("lpd"),
            QStringLiteral("Take jobs over LPD (RFC 1179; port 515 is LPD's), as CUPS's lpd "
                           "backend and Windows' LPR ports send them: each data file a job "
                           "(127.0.0.1 unless an address is given)."),
            QStringLiteral("[ADDRESS:]PORT"));
        const QCommandLineOption webPrint(QStringLiteral("web-print"),
            QStringLiteral("Take documents that web tills post over HTTP: Epson's "
                           "ePOS-Print (/cgi-bin/epos/service.cgi) for an ESC/POS model, "
                           "Star's WebPRNT (/StarWebPRNT/SendMessage) for a Star model, "
                           "with CORS (127.0.0.1 unless an address is given)."),
            QStringLiteral("[ADDRESS:]PORT"));
        const QCommandLineOption webOrigin(QStringLiteral("web-print-origin"),
            QStringLiteral("Only pages from ORIGIN (https://till.example:8443) may post "
                           "to --web-print; may be given more than once (default: any)."),
            QStringLiteral("ORIGIN"));
        const QCommandLineOption cloudPrnt(QStringLiteral("cloudprnt"),
            QStringLiteral("Poll the CloudPRNT server at URL for jobs, as a Star printer "
                           "does, and confirm each."),
            QStringLiteral("URL"));
        const QCommandLineOption serverDirectPrint(QStringLiteral("server-direct-print"),
            QStringLiteral("Poll the Server Direct Print server at URL for "
                           "ePOS-Print documents, as an Epson printer does "
                           "(with --sdp-id)."),
            QStringLiteral("URL"));
        const QCommandLineOption sdpId(QStringLiteral("sdp-id"),
            QStringLiteral("The printer's ID on the Server Direct Print server."),
            QStringLiteral("ID"));
        const QCommandLineOption pollInterval(QStringLiteral("poll-interval"),
            QStringLiteral("Poll --cloudprnt and --server-direct-print every SECONDS "
                           "(default 5)."),
            QStringLiteral("SECONDS"), QStringLiteral("5"));
        const QCommandLineOption caFile(QStringLiteral("ca-file"),
            QStringLiteral("Check the HTTPS servers polled against the CA certificates in "
                           "FILE (PEM) as well as the system's."),
            QStringLiteral("FILE"));
        for (const auto& option :
            { stateFile, out, gap, maxBytes, keep, maxDisk, forward, fallback, lpd, webPrint,
                webOrigin, cloudPrnt, serverDirectPrint, sdpId, pollInterval, caFile })
            line.add(option);
        if (!program)
            return;
        const QCommandLineOption config(QStringLiteral("config"),
            QStringLiteral("Run the printers FILE names, an INI file: a section [NAME] a "
                           "printer, its keys the long options above that make a printer "
                           "(listen = 0.0.0.0:9101, printer = MODEL, out = DIR, ...), a "
                           "value with commas quoted. --http serves them all."),
            QStringLiteral("FILE"));
        for (const auto& option : { config, jobs, timeout, ready, http, httpToken, httpHost })
            line.add(option);
    }

    // A command line of ostrel-capture's options; `program` as for AddOptions.
    std::unique_ptr<ToolCommandLine> CaptureCommandLine(bool program)
    {
        auto line = std::make_unique<ToolCommandLine>("ostrel-capture",
            QStringLiteral("A stand-in receipt printer without a window: takes print jobs from TCP "
                           "and/or a serial\n"
                           "port, answers status requests, writes each job's files and prints one "
                           "JSON line a job."));
        AddOptions(*line, program);
        return line;
    }

    // Whether two ports given would be one: the same port number on the same
    // address, or on any address.
    bool SamePort(const std::optional<ListenAddress>& a, const std::optional<ListenAddress>& b)
    {
        return a && b && a->port != 0 && a->port == b->port
            && (a->address == b->address || a->address.isEqual(QHostAddress::AnyIPv4)
                || b->address.isEqual(QHostAddress::AnyIPv4) || a->address == QHostAddress::Any
                || b->address == QHostAddress::Any);
    }

    // The printer the options on `line` make; false with the reason, which
    // names the option.
    bool ReadPrinter(const ToolCommandLine& line, PrinterOptions& options, std::string& error)
    {
        const QCommandLineParser& parser = line.parser();
        const auto fail = [&error](const std::string& why) {
            error = why;
            return false;
        };
        long long value = 0;
        if (!line.listen(options.listen, error) || !line.jobLimits(options.tcpLimits, error)
            || !line.statusBits(options.statusByte1, options.statusByte2, error))
            return false;
        if (!line.serial(options.serial, error)
            || !line.needs(QStringLiteral("job-gap"), QStringLiteral("serial"), error))
            return false;
        options.statusReturn = line.statusReturn();
        if (!line.printerState(options.state, error))
            return false;
        const receipt::PrinterProfile* profile = nullptr;
        if (!line.printerProfile(profile, error))
            return false;
        options.printer = profile->id;
        const QString forward = QStringLiteral("forward");
        if (parser.isSet(forward)) {
            const std::string target = LocalBytes(parser.value(forward));
            if (IsSerialTarget(target, options.forwardSerial, options.forwardSerialSettings)) {
                if (options.forwardSerial.empty())
                    return fail(
                        "--forward: serial: needs a device, as in serial:/dev/ttyUSB0,9600,N,8,1");
                try {
                    if (!options.forwardSerialSettings.empty())
                        ParseLineSettings(options.forwardSerialSettings);
                } catch (const SerialError& wrong) {
                    return fail("--forward: " + QuotedForMessage(wrong.what()));
                }
            } else if (!ParseForwardTarget(
                           target, options.forwardHost, options.forwardPort, error)) {
                return fail("--forward: " + error);
            }
        }
        if (!line.forwardFallback(options.forwardFallbackAnswer, error)
            || !line.printerInTime(*profile, options.pace, options.script, error))
            return false;
        if (options.pace && parser.isSet(forward))
            return fail("--forward: the real printer prints in its own time; leave out "
                        "--print-speed, --buffer, "
                        "--roll and --script");
        SetModel(options.state, *profile);
        options.stateFile = LocalBytes(parser.value(QStringLiteral("state-file")));
        options.out = LocalBytes(parser.value(QStringLiteral("out")));
        if (!line.number(QStringLiteral("job-gap"), 1, 3600000, "milliseconds", value, error))
            return false;
        options.jobGapMs = static_cast<int>(value);
        if (!line.size(QStringLiteral("max-job-bytes"), value, error))
            return false;
        if (value < 1)
            return fail("--max-job-bytes: takes a size of at least one byte");
        options.maxJobBytes = value;
        if (!line.number(QStringLiteral("keep"), 0, 1LL << 40, "a count of jobs", value, error)
            || !line.size(QStringLiteral("max-disk"), options.maxDisk, error))
            return false;
        options.keepJobs = value;
        if ((options.keepJobs > 0 || options.maxDisk > 0) && options.out.empty())
            return fail(std::string(options.keepJobs > 0 ? "--keep" : "--max-disk")
                + ": has no effect without --out");
        for (const auto& [name, where] :
            { std::pair { "lpd", &options.lpd }, std::pair { "web-print", &options.webPrint } }) {
            if (!parser.isSet(QString::fromLatin1(name)))
                continue;
            ListenAddress address;
            if (!ParseListenAddress(
                    LocalBytes(parser.value(QString::fromLatin1(name))), address, error))
                return fail("--" + std::string(name) + ": " + error);
            *where = address;
        }
        for (const QString& origin : parser.values(QStringLiteral("web-print-origin"))) {
            const QUrl url(origin, QUrl::StrictMode);
            if (!url.isValid()
                || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
                || url.host().isEmpty() || !url.path().isEmpty() || url.hasQuery()
                || url.hasFragment() || !url.userInfo().isEmpty())
                return fail("--web-print-origin: " + QuotedForMessage(LocalBytes(origin))
                    + " is no origin; give a scheme, a host and a port only, as in "
                      "https://till.example:8443");
            options.webPrintOrigins.push_back(url.toString(QUrl::FullyEncoded).toStdString());
        }
        if (!options.webPrintOrigins.empty() && !options.webPrint)
            return fail("--web-print-origin: has no effect without --web-print");
        for (const auto& [name, url] : { std::pair { "cloudprnt", &options.cloudPrnt },
                 std::pair { "server-direct-print", &options.serverDirectPrint } }) {
            if (!parser.isSet(QString::fromLatin1(name)))
                continue;
            const QUrl given(parser.value(QString::fromLatin1(name)), QUrl::StrictMode);
            if (!given.isValid()
                || (given.scheme() != QLatin1String("http")
                    && given.scheme() != QLatin1String("https"))
                || given.host().isEmpty())
                return fail("--" + std::string(name) + ": "
                    + QuotedForMessage(LocalBytes(parser.value(QString::fromLatin1(name))))
                    + " is no http:// or https:// URL");
            *url = given.toString(QUrl::FullyEncoded).toStdString();
        }
        options.sdpId = LocalBytes(parser.value(QStringLiteral("sdp-id")));
        if (!options.serverDirectPrint.empty() && options.sdpId.empty())
            return fail(
                "--server-direct-print: needs --sdp-id, the ID the server knows the printer by");
        if (options.serverDirectPrint.empty() && parser.isSet(QStringLiteral("sdp-id")))
            return fail("--sdp-id: has no effect without --server-direct-print");
        if (!line.number(QStringLiteral("poll-interval"), 1, 86400, "seconds", value, error))
            return false;
        options.pollIntervalS = static_cast<int>(value);
        options.caFile = LocalBytes(parser.value(QStringLiteral("ca-file")));
        if (!options.caFile.empty() && options.cloudPrnt.empty()
            && options.serverDirectPrint.empty())
            return fail("--ca-file: has no effect without --cloudprnt or --server-direct-print");
        if (SamePort(options.listen, options.lpd) || SamePort(options.listen, options.webPrint)
            || SamePort(options.lpd, options.webPrint))
            return fail("--lpd, --web-print: each takes a port of its own, apart from --listen's "
                        "and each other's");
        if (!options.listen && options.serial.port.empty() && !options.lpd && !options.webPrint
            && options.cloudPrnt.empty() && options.serverDirectPrint.empty())
            return fail("nothing to take jobs from: give --listen [ADDRESS:]PORT, --serial "
                        "N|DEVICE, --lpd, "
                        "--web-print, --cloudprnt or --server-direct-print");
        return true;
    }

    // A flag's value in the file: yes or no.
    std::optional<bool> FlagValue(const std::string& value)
    {
        if (value == "yes" || value == "true" || value == "1" || value == "on")
            return true;
        if (value == "no" || value == "false" || value == "0" || value == "off")
            return false;
        return std::nullopt;
    }

    // The first line a parse said, without the program's name.
    std::string Said(const std::string& text)
    {
        std::string first = text.substr(0, text.find('\n'));
        const std::string name = "ostrel-capture: ";
        return first.rfind(name, 0) == 0 ? first.substr(name.size()) : first;
    }

    // Each section of --config FILE as a printer: its keys read as the options
    // of the same name. False with "FILE line N: why".
    bool ReadShop(
        const std::string& path, std::vector<PrinterOptions>& printers, std::string& error)
    {
        std::vector<ConfigSection> sections;
        if (!ReadConfigFile(path, sections, error))
            return false;
        const auto at = [&path](int line) {
            return QuotedForMessage(path) + " line " + std::to_string(line) + ": ";
        };
        for (const ConfigSection& section : sections) {
            QStringList arguments { QStringLiteral("ostrel-capture") };
            for (const ConfigEntry& entry : section.entries) {
                // Each key alone first: a flag takes yes or no.
                const QString option = QStringLiteral("--") + TextOfLocalBytes(entry.key);
                const QString given = option + QStringLiteral("=") + TextOfLocalBytes(entry.value);
                std::ostringstream out, err;
                if (!CaptureCommandLine(false)->parse(
                        { QStringLiteral("ostrel-capture"), given }, out, err)) {
                    arguments << given;
                    continue;
                }
                const std::optional<bool> flag = FlagValue(entry.value);
                const bool isFlag = err.str().find("takes no value") != std::string::npos;
                if (!isFlag || !flag) {
                    const std::string why = Said(err.str().empty() ? out.str() : err.str());
                    error = at(entry.line) + entry.key + ": "
                        + (why.find("no such option") != std::string::npos
                                ? "not a key of a printer (the long options that make one: listen, "
                                  "serial, printer, "
                                  "out, state-file, ...)"
                                : isFlag ? "takes yes or no"
                                         : why);
                    return false;
                }
                if (*flag)
                    arguments << option;
            }
            const auto line = CaptureCommandLine(false);
            std::ostringstream out, err;
            PrinterOptions printer;
            printer.name = section.name;
            std::string why;
            if (line->parse(arguments, out, err) || !ReadPrinter(*line, printer, why)) {
                if (why.empty())
                    why = Said(err.str());
                // The line of the key the reason names, else the section's.
                int number = section.line;
                for (const ConfigEntry& entry : section.entries)
                    if (why.rfind("--" + entry.key + ":", 0) == 0
                        || why.rfind("--" + entry.key + " ", 0) == 0)
                        number = entry.line;
                error = at(number) + "[" + section.name + "] " + why;
                return false;
            }
            printers.push_back(std::move(printer));
        }
        // Two printers cannot share a port, a serial line or a folder.
        for (std::size_t i = 0; i < printers.size(); ++i)
            for (std::size_t j = 0; j < i; ++j) {
                const PrinterOptions& a = printers[i];
                const PrinterOptions& b = printers[j];
                const auto clash = [&](const std::string& what) {
                    error = QuotedForMessage(path) + ": [" + a.name + "] and [" + b.name + "] "
                        + what;
                    return false;
                };
                // Every port either takes: TCP, LPD, the web tills'.
                for (const std::optional<ListenAddress>* mine : { &a.listen, &a.lpd, &a.webPrint })
                    for (const std::optional<ListenAddress>* theirs :
                        { &b.listen, &b.lpd, &b.webPrint })
                        if (SamePort(*mine, *theirs))
                            return clash(
                                "listen on the same port, " + std::to_string((*mine)->port));
                if (!a.serial.port.empty() && a.serial.port == b.serial.port)
                    return clash("take the same serial port, " + QuotedForMessage(a.serial.port));
                // The same folder however it is written: "x", "./x/", a link to it.
                const auto folder = [](const std::string& path) {
                    std::error_code ignored;
                    std::filesystem::path whole = std::filesystem::weakly_canonical(
                        std::filesystem::absolute(path, ignored), ignored)
                                                      .lexically_normal();
                    return whole.has_filename() ? whole : whole.parent_path();
                };
                if (!a.out.empty() && !b.out.empty() && folder(a.out) == folder(b.out))
                    return clash("write into the same folder, " + QuotedForMessage(a.out));
            }
        return true;
    }

} // namespace

int RunCaptureService(int argc, char** argv)
{
    const auto line = CaptureCommandLine(true);
    if (const auto answered
        = line->parse(ToolCommandLine::Arguments(argc, argv), std::cout, std::cerr))
        return *answered;
    const auto usage = [&line](const std::string& why) { return line->usage(why, std::cerr); };
    const QCommandLineParser& parser = line->parser();

    CaptureServiceOptions options;
    WebOptions web;
    std::string error;
    long long value = 0;
    if (!line->noArguments(error))
        return usage(error);
    if (parser.isSet(QStringLiteral("config"))) {
        // The printers are the file's; the command line gives what is the program's.
        for (const char* name : { "listen", "serial", "printer", "out", "state", "state-file",
                 "forward", "print-speed", "buffer", "roll", "script", "status-bits",
                 "no-status-return", "max-job-bytes", "keep", "max-disk", "job-gap", "settings",
                 "hw-handshake", "idle-timeout", "job-timeout", "near-end", "forward-fallback" })
            if (parser.isSet(QString::fromLatin1(name)))
                return usage(std::string("--") + name
                    + ": with --config each printer's options are in its section");
        if (!ReadShop(LocalBytes(parser.value(QStringLiteral("config"))), options.printers, error))
            return usage("--config: " + error);
    } else if (!ReadPrinter(*line, options, error)) {
        return usage(error);
    }
    if (parser.isSet(QStringLiteral("http"))) {
        ListenAddress where;
        if (!ParseListenAddress(LocalBytes(parser.value(QStringLiteral("http"))), where, error))
            return usage("--http: " + error);
        web.http = where;
    }
    if (!line->needs(QStringLiteral("http-token"), QStringLiteral("http"), error)
        || !line->needs(QStringLiteral("http-host"), QStringLiteral("http"), error))
        return usage(error);
    if (parser.isSet(QStringLiteral("http-token"))) {
        const std::string path = LocalBytes(parser.value(QStringLiteral("http-token")));
        // Never waits on a FIFO: the printer port opens only after this.
        const StateFileRead read = ReadSecretFile(path);
        if (read.kind != StateFileRead::Text)
            return usage("--http-token: cannot "
                + std::string(read.kind == StateFileRead::Missing ? "open " : "use ")
                + QuotedForMessage(path) + ": " + read.problem);
        std::string token = read.text;
        while (
            !token.empty() && (token.back() == '\n' || token.back() == '\r' || token.back() == ' '))
            token.pop_back();
        const bool fits = token.size() >= 16 && token.size() <= 200
            && std::all_of(token.begin(), token.end(),
                [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_'; });
        if (!fits)
            return usage("--http-token: " + QuotedForMessage(path)
                + " must hold one token of 16 to 200 letters, digits, - or _");
        web.token = token;
    }
    for (const QString& name : parser.values(QStringLiteral("http-host")))
        web.hosts.push_back(LocalBytes(name));
    if (web.http && !web.http->address.isLoopback() && web.token.empty())
        return usage("--http: " + ListenAddressText(web.http->address, web.http->port)
            + " is reachable from other machines: give --http-token FILE, or listen on the "
              "loopback");
    options.readyFile = LocalBytes(parser.value(QStringLiteral("ready-file")));
    if (!line->number(QStringLiteral("jobs"), 0, 1000000000, "a count of jobs", value, error))
        return usage(error);
    options.jobs = static_cast<int>(value);
    if (!line->number(QStringLiteral("timeout"), 0, 1000000, "seconds", value, error))
        return usage(error);
    options.timeoutS = static_cast<int>(value);

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
