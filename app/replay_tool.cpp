#include "app/replay_tool.h"

#include "app/printing_replay.h"
#include "receipt/receipt_document.h"

#include "app/conversation_print.h"
#include "app/job_compare.h"
#include "app/tool_options.h"

#include "files/atomic_file.h"
#include "files/capture_file_format.h"
#include "files/job_files.h"
#include "files/memory_folder.h"
#include "protocol/message_text.h"
#include "receipt/receipt_report.h"
#include "render/gui_for_tools.h"
#include "render/receipt_renderer.h"
#include "render/symbol_encoder.h"
#include "session/capture_session.h"
#include "session/receipt_follower.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace ostrel {

namespace {

    struct Options {
        std::string input;
        std::string log, hex, ascii, raw, replies;
        std::size_t chunk = 0; // 0: the whole input as one chunk
        std::uint8_t statusByte1 = kStartUpStatusByte1;
        std::uint8_t statusByte2 = kStartUpStatusByte2;
        bool statusReturn = true;
        bool counters = false;
        bool realTime = false; // --state given: the real-time requests are answered
        PrinterState state;
        std::string compare; // the golden job, with --compare
        std::string preview, report, commands;
        bool markers = false; // labels of cuts, pulses, bytes not understood beside the paper
        const receipt::PrinterProfile* profile = nullptr;
        bool paperGiven = false; // --paper, which the model's print width gives way to
        std::optional<PrintPace::Settings> pace; // --print-speed, --buffer, --roll
        int paperWidth = receipt::kPaperWidth80;
        std::string memory; // --memory: the printer's memory folder
    };

    // The file options, each with its help.
    const std::pair<const char*, const char*> kFileOptions[] = {
        { "log",
            "The command log file, lines ended by CR LF (default: standard output). For any one of "
            "these files, - is standard output." },
        { "hex", "The hex data view, one line per view line, CR LF." },
        { "ascii", "The ASCII data view, one line per view line, CR LF, one byte per character." },
        { "raw", "The raw capture file, 10001 bytes." },
        { "replies", "Every status reply that would have been sent, in order." },
        { "report",
            "A JSON summary: bytes, commands, receipts, the interpreted commands by kind, every "
            "barcode and 2-D code with its data, bytes not understood with their offsets, status "
            "replies, drawer pulses and cuts." },
        { "commands",
            "The printer model's commands as the Receipt Preview lists them, as JSON: each with "
            "its "
            "receipt, offset, text, description and the rectangle it printed in --preview's PNG." },
    };

    void AddOptions(ToolCommandLine& line)
    {
        line.addPositional(QStringLiteral("INPUT"),
            QStringLiteral("The received bytes; \"-\" reads standard input."));
        for (const auto& [name, help] : kFileOptions)
            line.add(
                { QString::fromLatin1(name), QString::fromLatin1(help), QStringLiteral("FILE") });
        line.add({ QStringLiteral("chunk"),
            QStringLiteral(
                "Take the bytes SIZE at a time, as a port hands them over (K, M, G: KiB, "
                "MiB, GiB; default 64K; the result is the same for any chunking)."),
            QStringLiteral("SIZE") });
        line.addStatusOptions();
        line.addStateOption();
        line.addPrinterInTimeOptions(false);
        line.add({ QStringLiteral("counters"),
            QStringLiteral(
                "Print the two counter captions, one a line, on standard error at the end.") });
        line.add({ QStringLiteral("compare"),
            QStringLiteral(
                "Compare INPUT with the golden job GOLDEN command by command and print the "
                "first differences; exit status 0 when they are the same, 3 when they differ."),
            QStringLiteral("GOLDEN") });
        line.add({ QStringLiteral("preview"),
            QStringLiteral(
                "The receipts as the printer would print them: FILE.png, one image with the "
                "receipts one under the other, or FILE.pdf, a page for each receipt. A name "
                "with a %d (out-%03d.png) gives a PNG for each receipt. Images are at most "
                "16384 dots tall: a longer receipt takes more than one, and receipts too "
                "long together for one PNG are written as FILE-001.png, FILE-002.png..."),
            QStringLiteral("FILE") });
        line.add({ QStringLiteral("conversation"),
            QStringLiteral(
                "INPUT is a job ostrel-capture --forward recorded (job-N.json, with job-N.bin "
                "and job-N.replies.bin beside it): print its conversation with the printer, "
                "each chunk both ways with its time, and each status request with the "
                "printer's answer, how long it took and what it says.") });
        line.add({ QStringLiteral("markers"),
            QStringLiteral(
                "With --preview: label cuts, drawer pulses and bytes not understood in a "
                "margin right of the paper (default: the paper alone, as printed).") });
        line.addPrinterOption();
        line.add({ QStringLiteral("memory"),
            QStringLiteral(
                "Read INPUT on the printer whose memory the folder keeps (memory/ in "
                "ostrel-capture's "
                "--out folder, or that folder): the graphics, logos, images and characters earlier "
                "jobs stored print where INPUT prints them. With --preview, --report or "
                "--commands."),
            QStringLiteral("DIR") });
        line.add({ QStringLiteral("paper"),
            QStringLiteral(
                "The paper width for --preview and --report, in mm (default: 80, 576 dots; "
                "58 is 384 dots; with --printer, the model's)."),
            QStringLiteral("58|80"), QStringLiteral("80") });
    }

    // The options read, or false with the reason.
    bool ReadOptions(const ToolCommandLine& line, Options& options, std::string& error)
    {
        const QCommandLineParser& parser = line.parser();
        const QStringList inputs = parser.positionalArguments();
        if (inputs.isEmpty()) {
            error = "INPUT: give the file to read (- for standard input)";
            return false;
        }
        if (inputs.size() > 1) {
            error = QuotedForMessage(LocalBytes(inputs[1])) + ": only one INPUT may be given";
            return false;
        }
        options.input = LocalBytes(inputs.constFirst());
        std::string* const files[] = { &options.log, &options.hex, &options.ascii, &options.raw,
            &options.replies, &options.report, &options.commands };
        for (std::size_t i = 0; i < std::size(files); ++i)
            *files[i] = LocalBytes(parser.value(QString::fromLatin1(kFileOptions[i].first)));
        if (std::count_if(std::begin(files), std::end(files),
                [](const std::string* file) { return *file == "-"; })
            > 1) {
            error = "-: only one of --log, --hex, --ascii, --raw, --replies, --report and "
                    "--commands can be standard output";
            return false;
        }
        if (parser.isSet(QStringLiteral("chunk"))) {
            long long chunk = 0;
            if (!line.size(QStringLiteral("chunk"), chunk, error))
                return false;
            if (chunk < 1 || chunk > (1LL << 30)) {
                error = "--chunk: takes a size from 1 byte to 1G";
                return false;
            }
            options.chunk = static_cast<std::size_t>(chunk);
        }
        if (!line.statusBits(options.statusByte1, options.statusByte2, error))
            return false;
        options.statusReturn = line.statusReturn();
        options.realTime = line.parser().isSet(QStringLiteral("state"));
        if (!line.printerState(options.state, error))
            return false;

        options.counters = parser.isSet(QStringLiteral("counters"));
        options.compare = LocalBytes(parser.value(QStringLiteral("compare")));
        options.preview = LocalBytes(parser.value(QStringLiteral("preview")));
        if (!options.preview.empty() && !options.preview.ends_with(".png")
            && !options.preview.ends_with(".pdf") && !options.preview.ends_with(".PNG")
            && !options.preview.ends_with(".PDF")) {
            error = "--preview: takes a file name ending in .png or .pdf, not \""
                + QuotedForMessage(options.preview) + "\"";
            return false;
        }
        options.markers = parser.isSet(QStringLiteral("markers"));
        options.memory = LocalBytes(parser.value(QStringLiteral("memory")));
        if (parser.isSet(QStringLiteral("memory")) && options.compare.empty()
            && options.preview.empty() && !parser.isSet(QStringLiteral("report"))
            && !parser.isSet(QStringLiteral("commands"))) {
            error = "--memory: has an effect only with --preview, --report or --commands";
            return false;
        }
        if (!line.needs(QStringLiteral("markers"), QStringLiteral("preview"), error))
            return false;
        if (!options.compare.empty()) {
            // --compare reads the two jobs and writes nothing else.
            for (const char* other :
                { "log", "hex", "ascii", "raw", "replies", "report", "commands", "preview",
                    "counters", "chunk", "state", "status-bits", "no-status-return", "memory" })
                if (parser.isSet(QString::fromLatin1(other))) {
                    error = std::string("--") + other + ": has no effect with --compare";
                    return false;
                }
        }
        if (!options.preview.empty()) {
            QString name, problem;
            if (options.preview.find('%') != std::string::npos
                && !render::SheetFileName(TextOfLocalBytes(options.preview), 1, name, problem)) {
                error = "--preview: " + QuotedForMessage(options.preview) + ": "
                    + problem.toStdString();
                return false;
            }
        }
        const QString paper = parser.value(QStringLiteral("paper"));
        if (paper != QStringLiteral("58") && paper != QStringLiteral("80")) {
            error = "--paper: takes 58 or 80, not \"" + QuotedForMessage(LocalBytes(paper)) + "\"";
            return false;
        }
        options.paperWidth
            = paper == QStringLiteral("58") ? receipt::kPaperWidth58 : receipt::kPaperWidth80;
        options.paperGiven = parser.isSet(QStringLiteral("paper"));
        if (!line.printerProfile(options.profile, error))
            return false;
        // The model says who it is to GS I.
        SetModel(options.state, *options.profile);
        std::vector<FaultLine> noScript;
        return line.printerInTime(*options.profile, options.pace, noScript, error);
    }

    // Without --chunk the input goes through in pieces of this size; with one
    // chunk of any size the views and files come out the same.
    constexpr std::size_t kDefaultChunk = 64 * 1024;

    bool OutputsDistinct(const Options& options, std::string& problem)
    {
        const std::pair<const char*, const std::string*> outputs[] = {
            { "--log", &options.log },
            { "--hex", &options.hex },
            { "--ascii", &options.ascii },
            { "--raw", &options.raw },
            { "--replies", &options.replies },
            { "--preview", &options.preview },
            { "--report", &options.report },
            { "--commands", &options.commands },
        };
        std::vector<std::pair<const char*, std::string>> places;
        for (const auto& [option, name] : outputs) {
            if (name->empty())
                continue;
            // Links are followed as the writer follows them, even to a target
            // that does not exist yet.
            OutputPlace output;
            std::string unused;
            const bool found = FindOutputPlace(*name, output, unused);
            if (found && output.direct)
                continue; // a device or FIFO takes each output in turn
            const std::string resolved = found ? output.resolved : *name;
            std::error_code ignored;
            const std::string place = std::filesystem::weakly_canonical(resolved, ignored).string();
            for (const auto& [other, otherPlace] : places) {
                if (otherPlace == place
                    || std::filesystem::equivalent(*name, otherPlace, ignored)) {
                    problem
                        = std::string(other) + " and " + option + " name the same file " + *name;
                    return false;
                }
            }
            places.emplace_back(option, place.empty() ? *name : place);
        }
        return true;
    }

    // The input named on the command line: standard input for "-", else the file
    // opened into `file`.
    std::istream& OpenInput(
        const std::string& name, std::istream& standardInput, std::ifstream& file)
    {
        if (name == "-")
            return standardInput;
        file.open(name, std::ios::binary);
        return file;
    }

    // A whole file, or false with errno set.
    int Compare(const Options& options, std::istream& standardInput, std::ostream& standardOutput,
        std::ostream& standardError)
    {
        std::ifstream goldenFile, jobFile;
        const auto unreadable = [&](const std::string& name, int error = 0) {
            standardError << "ostrel-replay: cannot read " << QuotedForMessage(name) << ": "
                          << std::strerror(error != 0 ? error
                                     : errno != 0     ? errno
                                                      : EIO)
                          << "\n";
            return 1;
        };
        // Each file's own reason, taken before anything else can change errno.
        errno = 0;
        std::istream& golden = OpenInput(options.compare, standardInput, goldenFile);
        if (!golden)
            return unreadable(options.compare);
        std::istream& job = OpenInput(options.input, standardInput, jobFile);
        if (!job)
            return unreadable(options.input);
        errno = 0;
        render::ZintSymbolGeometry geometry;
        const JobComparison result
            = CompareJobs(golden, job, geometry, 10, 100'000, options.profile);
        if (result.outcome == JobComparison::GoldenUnreadable)
            return unreadable(options.compare);
        if (result.outcome == JobComparison::JobUnreadable)
            return unreadable(options.input);
        standardOutput << result.report << std::flush;
        if (!standardOutput) {
            standardError << "ostrel-replay: cannot write to standard output\n";
            return 1;
        }
        return result.outcome == JobComparison::Same ? 0 : 3;
    }

    class ReplyRecorder : public CaptureListener {
    public:
        void chunkTaken(std::string_view, ByteSource*) override { }
        void replySent(std::string_view bytes, ByteSource*) override
        {
            replies.append(bytes);
            if (listed.size() < kRepliesListed)
                listed.push_back(HexBytes(bytes));
        }
        std::string replies;
        std::vector<std::string> listed;
    };

    // The peer a replayed job came from, with --state: a network peer, which
    // gets the real-time replies. They are recorded, not sent.
    class ReplayPeer : public ByteSource {
    public:
        std::string sourceName() const override { return "replay"; }
        void sendReply(std::string_view) override { }
    };

    // The model's commands, each with the rectangle it printed in, placed as the
    // PNG of --preview stacks the receipts; the first 10,000 of them.
    std::string CommandsJson(const receipt::ReceiptPrinter& printer, bool markers)
    {
        const std::deque<receipt::Receipt> receipts
            = render::ReceiptsWithContent(printer.receipts());
        const std::vector<int> tops = render::ReceiptTops(receipts, markers);
        std::string json
            = "{\"paper_width\":" + std::to_string(printer.paperWidth()) + ",\"commands\":[";
        std::size_t listed = 0;
        for (std::size_t r = 0; r < receipts.size() && listed < 10'000; ++r)
            for (std::size_t c = 0; c < receipts[r].commands.size() && listed < 10'000;
                 ++c, ++listed) {
                const receipt::ModelCommand& command = receipts[r].commands[c];
                const receipt::DotRect place = receipt::PlaceOfCommand(
                    receipts[r], static_cast<int>(c), printer.paperWidth());
                json += std::string(listed ? "," : "") + "{\"receipt\":" + std::to_string(r)
                    + ",\"offset\":" + std::to_string(command.offset)
                    + ",\"text\":" + JsonString(command.text) + ",\"description\":"
                    + JsonString(command.description) + ",\"x\":" + std::to_string(place.x)
                    + ",\"y\":" + std::to_string(tops[r] + place.y)
                    + ",\"width\":" + std::to_string(place.width)
                    + ",\"height\":" + std::to_string(place.height) + "}";
            }
        return json + "]}\n";
    }

} // namespace

int RunReplay(const std::vector<std::string>& args, std::istream& standardInput,
    std::ostream& standardOutput, std::ostream& standardError)
{
    ToolCommandLine line("ostrel-replay",
        QStringLiteral("Feeds a file of received bytes through the capture engine and\n"
                       "writes what the window would show and save."));
    AddOptions(line);
    QStringList arguments { QStringLiteral("ostrel-replay") };
    for (const std::string& arg : args)
        arguments << TextOfLocalBytes(arg);
    if (const auto answered = line.parse(arguments, standardOutput, standardError))
        return *answered;
    Options options;
    std::string error;
    if (!ReadOptions(line, options, error))
        return line.usage(error, standardError);
    if (!options.compare.empty())
        return Compare(options, standardInput, standardOutput, standardError);
    if (line.parser().isSet(QStringLiteral("conversation")))
        return PrintConversation(options.input, standardOutput, standardError);

    // Two outputs of one file would leave only the one written last.
    std::string usage;
    if (!OutputsDistinct(options, usage))
        return line.usage(usage, standardError);

    FixedStatusControls status(static_cast<std::uint8_t>(options.statusByte1),
        static_cast<std::uint8_t>(options.statusByte2), options.statusReturn);
    CaptureSession session;
    session.setStatusControls(status);
    ReplyRecorder replies;
    session.addListener(replies);
    session.setPrinterState(options.state);
    session.setPrinterLanguage(options.profile->language);
    ReplayPeer peer;
    std::optional<PrintingReplay> printing;
    if (options.pace)
        printing.emplace(
            *options.pace, *options.profile, session, options.realTime ? &peer : nullptr);

    // The printer model reads the same chunks, only when its outputs are asked for.
    const bool modelWanted
        = !options.preview.empty() || !options.report.empty() || !options.commands.empty();
    render::ZintSymbolGeometry geometry;
    receipt::PrinterLimits limits;
    limits.paperWidth = options.paperWidth;
    receipt::ReceiptPrinter printer(geometry, limits);
    printer.setProfile(*options.profile);
    if (options.paperGiven || options.profile == &receipt::GenericProfile())
        printer.clear(options.paperWidth);
    if (!options.memory.empty()) {
        // ostrel-capture's --out folder holds its printer's memory in memory/.
        std::error_code unused;
        const std::string inside = MemoryFolderOf(options.memory);
        const std::string folder
            = std::filesystem::is_directory(inside, unused) ? inside : options.memory;
        if (!std::filesystem::is_directory(folder, unused)) {
            standardError << "ostrel-replay: cannot read the memory in "
                          << QuotedForMessage(options.memory) << ": not a folder\n";
            return 1;
        }
        receipt::PrinterMemory memory(*options.profile);
        std::vector<std::string> refused;
        std::string error;
        if (!ReadPrinterMemory(folder, *options.profile, true, memory, refused, error)) {
            standardError << "ostrel-replay: cannot read the printer's memory: " << error << "\n";
            return 1;
        }
        for (const std::string& why : refused)
            standardError << "ostrel-replay: the memory in " << QuotedForMessage(folder) << ": "
                          << why << "\n";
        printer.remember(memory);
    }
    receipt::ReceiptFollower follower(printer);
    // The fonts tell the report which characters print as nothing.
    std::unique_ptr<QGuiApplication> gui;
    render::ReceiptRenderer renderer;
    if (modelWanted) {
        gui = render::GuiForTools();
        printer.setGlyphCoverage([&renderer](char32_t ch) { return renderer.covers(ch); });
        session.addListener(follower);
    }

    // The input is taken a chunk at a time, so that memory stays flat however
    // long it is; the result does not depend on the chunking.
    std::ifstream file;
    std::istream* in = &OpenInput(options.input, standardInput, file);
    const auto readFailed = [&] {
        standardError << "ostrel-replay: cannot read " << QuotedForMessage(options.input) << ": "
                      << std::strerror(errno != 0 ? errno : EIO) << "\n";
        return 1;
    };
    if (!*in)
        return readFailed();
    const std::size_t chunk = options.chunk == 0 ? kDefaultChunk : options.chunk;
    std::vector<char> buffer(chunk);
    long long bytesRead = 0; // the job's size: the byte counter stops at 9,999
    // On a terminal, a long replay says how far it got.
    const bool showProgress = &standardError == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    std::error_code sizeUnknown;
    const auto inputSize
        = options.input == "-" ? 0 : std::filesystem::file_size(options.input, sizeUnknown);
    const auto started = std::chrono::steady_clock::now();
    auto lastShown = started;
    bool progressShown = false;
    const auto showProgressNow = [&] {
        const auto now = std::chrono::steady_clock::now();
        if (!showProgress || now - lastShown < std::chrono::milliseconds(250)
            || now - started < std::chrono::seconds(1))
            return;
        lastShown = now;
        progressShown = true;
        char line[160];
        if (inputSize > 0)
            std::snprintf(line, sizeof line,
                "\rostrel-replay: %.1f of %.1f MB read (%d%%), %lld receipts ", bytesRead / 1e6,
                inputSize / 1e6,
                static_cast<int>(bytesRead * 100 / static_cast<long long>(inputSize)),
                printer.summary().receipts);
        else
            std::snprintf(line, sizeof line, "\rostrel-replay: %.1f MB read, %lld receipts ",
                bytesRead / 1e6, printer.summary().receipts);
        standardError << line << std::flush;
    };
    for (;;) {
        errno = 0;
        in->read(buffer.data(), static_cast<std::streamsize>(chunk));
        const auto got = static_cast<std::size_t>(in->gcount());
        if (in->bad())
            return readFailed();
        session.UpdateData(
            std::string_view(buffer.data(), got), options.realTime ? &peer : nullptr);
        if (printing)
            printing->take(std::string_view(buffer.data(), got));
        bytesRead += static_cast<long long>(got);
        showProgressNow();
        if (in->eof() || got < chunk)
            break;
    }
    if (printing)
        printing->finish();
    const LineView& log = session.listCommands();
    const LineView& hex = session.listDataReceivedHEX();
    const LineView& ascii = session.listDataReceived();

    if (progressShown)
        standardError << "\rostrel-replay: " << bytesRead << " bytes read" << std::string(40, ' ')
                      << "\n";
    // The preview keeps the newest receipts only; the report counts them all.
    if (!options.preview.empty() && printer.droppedReceipts() > 0)
        standardError << "ostrel-replay: the preview shows the newest "
                      << std::count_if(printer.receipts().begin(), printer.receipts().end(),
                             receipt::PaperFed)
                      << " receipts; " << printer.droppedReceipts()
                      << " older ones were dropped to keep memory bounded"
                      << (options.report.empty() ? "" : " (the report counts them all)") << "\n";
    std::string report;
    if (!options.report.empty()) {
        receipt::CaptureFigures figures;
        figures.bytes = bytesRead;
        figures.commands = session.lblCmdCount().value();
        figures.statusReplies = session.repliesSent();
        figures.replies = replies.listed;
        report = receipt::ReceiptReportJson(printer, figures);
        // A job ostrel-capture forwarded: its conversation with the printer too.
        if (const std::string forward = ForwardRecordBeside(options.input);
            !forward.empty() && report.size() > 3)
            report.insert(report.size() - 3, ",\n  \"forward\": " + forward);
        if (printing && report.size() > 3)
            report.insert(report.size() - 3, ",\n  \"printing\": " + printing->reportJson());
    }
    std::vector<render::EncodedFile> previews;
    if (!options.preview.empty()) {
        QString error;
        if (!renderer.encode(render::ReceiptsWithContent(printer.receipts()), printer.paperWidth(),
                TextOfLocalBytes(options.preview), { .markers = options.markers }, previews,
                error)) {
            standardError << "ostrel-replay: cannot make " << QuotedForMessage(options.preview)
                          << ": " << error.toStdString() << "\n";
            return 1;
        }
        if (previews.size() > 1 && options.preview.find('%') == std::string::npos)
            standardError
                << "ostrel-replay: the receipts are too long for one image: the preview is "
                << QuotedForMessage(LocalBytes(previews.front().name)) << " to "
                << QuotedForMessage(LocalBytes(previews.back().name)) << "\n";
    }

    AtomicFileSet files;
    // "-" is standard output, which takes the log when no other file goes there.
    const bool otherToStandardOutput = options.hex == "-" || options.ascii == "-"
        || options.raw == "-" || options.replies == "-" || options.report == "-"
        || options.commands == "-";
    std::string standardOutputBytes;
    const auto put = [&](const std::string& name, std::string_view bytes) {
        if (name == "-" || (name.empty() && &name == &options.log && !otherToStandardOutput)) {
            standardOutputBytes.assign(bytes);
            return true;
        }
        return name.empty() || files.stage(name, bytes);
    };
    const bool staged = put(options.log, ViewFileBytes(log)) && put(options.hex, ViewFileBytes(hex))
        && put(options.ascii, ViewFileBytes(ascii))
        && put(options.raw, RawCaptureFileBytes(session.state()))
        && put(options.replies, replies.replies) && put(options.report, report)
        && put(options.commands,
            options.commands.empty() ? std::string() : CommandsJson(printer, options.markers))
        && std::all_of(previews.begin(), previews.end(), [&](const render::EncodedFile& file) {
               return files.stage(LocalBytes(file.name),
                   std::string_view(
                       file.bytes.constData(), static_cast<std::size_t>(file.bytes.size())));
           });
    if (!staged || !files.commit()) {
        standardError << "ostrel-replay: cannot write " << files.error() << "\n";
        return 1;
    }
    if (!standardOutputBytes.empty()) {
        standardOutput << standardOutputBytes << std::flush;
        if (!standardOutput) {
            standardError << "ostrel-replay: cannot write to standard output: "
                          << std::strerror(errno != 0 ? errno : EIO) << "\n";
            return 1;
        }
    }
    if (options.counters)
        standardError << session.lblByteCount().text() << "\n"
                      << session.lblCmdCount().text() << "\n";
    return 0;
}

} // namespace ostrel
