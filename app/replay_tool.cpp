#include "app/replay_tool.h"

#include "app/job_compare.h"

#include "session/capture_session.h"
#include "files/atomic_file.h"
#include "files/capture_file_format.h"
#include "session/receipt_follower.h"
#include "receipt/receipt_report.h"
#include "render/gui_for_tools.h"
#include "render/receipt_renderer.h"
#include "render/symbol_encoder.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sstream>

namespace ostrel {

namespace {

constexpr const char* kUsage =
    "usage: ostrel-replay [options] INPUT        (INPUT \"-\" reads standard input)\n"
    "  --log FILE         the command log file, lines ended by CR LF (default: standard output)\n"
    "  --hex FILE         the hex data view, one line per view line, CR LF\n"
    "  --ascii FILE       the ASCII data view, one line per view line, CR LF, one byte per character\n"
    "  --raw FILE         the raw capture file, 10001 bytes\n"
    "  --chunk N          hand the bytes to UpdateData in chunks of N bytes (default: 64 KiB;\n"
    "                     the result is the same for any chunking)\n"
    "  --status-bits B1,B2   the two status bytes, decimal 0-255 (default 0,8: the window's start-up boxes)\n"
    "  --no-status-return    as if \"Enable Status Return\" were unticked\n"
    "  --replies FILE     every status reply that would have been sent, in order\n"
    "  --counters         print the two counter captions, one a line, on standard error at the end\n"
    "  --compare GOLDEN   compare INPUT with the golden job GOLDEN command by command and print the\n"
    "                     first differences; exit status 0 when they are the same, 3 when they differ\n"
    "  --preview FILE     the receipts as the printer would print them: FILE.png, one image with the\n"
    "                     receipts one under the other, or FILE.pdf, a page for each receipt\n"
    "  --paper 58|80      the paper width for --preview and --report, in mm (default: 80, 576 dots;\n"
    "                     58 is 384 dots)\n"
    "  --report FILE      a JSON summary: bytes, commands, receipts, the interpreted commands by kind,\n"
    "                     every barcode and 2-D code with its data, bytes not understood with their\n"
    "                     offsets, status replies, drawer pulses and cuts\n"
    "  --help\n";

struct Options {
    std::string input;
    std::string log, hex, ascii, raw, replies;
    std::size_t chunk = 0; // 0: the whole input as one chunk
    unsigned statusByte1 = kStartUpStatusByte1;
    unsigned statusByte2 = kStartUpStatusByte2;
    bool statusReturn = true;
    bool counters = false;
    bool help = false;
    std::string compare; // the golden job, with --compare
    std::string preview, report;
    int paperWidth = receipt::kPaperWidth80;
};

class UsageError {
public:
    explicit UsageError(std::string reason) : reason(std::move(reason)) {}
    std::string reason;
};

std::optional<unsigned long> ParseNumber(std::string_view text)
{
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

Options ParseOptions(const std::vector<std::string>& args)
{
    Options options;
    bool haveInput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw UsageError(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help") {
            options.help = true;
        } else if (arg == "--log") {
            options.log = value();
        } else if (arg == "--hex") {
            options.hex = value();
        } else if (arg == "--ascii") {
            options.ascii = value();
        } else if (arg == "--raw") {
            options.raw = value();
        } else if (arg == "--replies") {
            options.replies = value();
        } else if (arg == "--chunk") {
            const std::string& text = value();
            const auto n = ParseNumber(text);
            if (!n || *n == 0)
                throw UsageError("--chunk takes a positive whole number, not \"" + text + "\"");
            options.chunk = *n;
        } else if (arg == "--status-bits") {
            const std::string& text = value();
            const std::size_t comma = text.find(',');
            const auto b1 = ParseNumber(std::string_view(text).substr(0, comma));
            const auto b2 = comma == std::string::npos
                                ? std::nullopt
                                : ParseNumber(std::string_view(text).substr(comma + 1));
            if (!b1 || !b2 || *b1 > 255 || *b2 > 255)
                throw UsageError("--status-bits takes two numbers 0-255 as B1,B2, not \"" + text +
                                 "\"");
            options.statusByte1 = static_cast<unsigned>(*b1);
            options.statusByte2 = static_cast<unsigned>(*b2);
        } else if (arg == "--no-status-return") {
            options.statusReturn = false;
        } else if (arg == "--compare") {
            options.compare = value();
        } else if (arg == "--preview") {
            options.preview = value();
            if (!options.preview.ends_with(".png") && !options.preview.ends_with(".pdf") &&
                !options.preview.ends_with(".PNG") && !options.preview.ends_with(".PDF"))
                throw UsageError("--preview takes a file name ending in .png or .pdf, not \"" + options.preview + "\"");
        } else if (arg == "--report") {
            options.report = value();
        } else if (arg == "--paper") {
            const std::string& text = value();
            if (text != "58" && text != "80")
                throw UsageError("--paper takes 58 or 80, not \"" + text + "\"");
            options.paperWidth = text == "58" ? receipt::kPaperWidth58 : receipt::kPaperWidth80;
        } else if (arg == "--counters") {
            options.counters = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else if (haveInput) {
            throw UsageError("only one INPUT may be given");
        } else {
            options.input = arg;
            haveInput = true;
        }
    }
    if (!haveInput && !options.help)
        throw UsageError("no INPUT given");
    return options;
}

// Without --chunk the input goes through in pieces of this size; with one
// chunk of any size the views and files come out the same.
constexpr std::size_t kDefaultChunk = 64 * 1024;

bool OutputsDistinct(const Options& options, std::string& problem)
{
    const std::pair<const char*, const std::string*> outputs[] = {
        {"--log", &options.log}, {"--hex", &options.hex},         {"--ascii", &options.ascii},
        {"--raw", &options.raw}, {"--replies", &options.replies},
        {"--preview", &options.preview}, {"--report", &options.report},
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
            if (otherPlace == place || std::filesystem::equivalent(*name, otherPlace, ignored)) {
                problem = std::string(other) + " and " + option + " name the same file " + *name;
                return false;
            }
        }
        places.emplace_back(option, place.empty() ? *name : place);
    }
    return true;
}

// The input named on the command line: standard input for "-", else the file
// opened into `file`.
std::istream& OpenInput(const std::string& name, std::istream& standardInput, std::ifstream& file)
{
    if (name == "-")
        return standardInput;
    file.open(name, std::ios::binary);
    return file;
}

// A whole file, or false with errno set.
bool ReadWhole(const std::string& name, std::istream& standardInput, std::string& bytes)
{
    std::ifstream file;
    std::istream* in = &OpenInput(name, standardInput, file);
    if (!*in)
        return false;
    char buffer[65536];
    errno = 0;
    while (in->read(buffer, sizeof buffer) || in->gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in->gcount()));
        if (in->eof())
            break;
    }
    return !in->bad();
}

int Compare(const Options& options, std::istream& standardInput, std::ostream& standardOutput,
            std::ostream& standardError)
{
    std::string golden, job;
    for (const auto& [name, bytes] : {std::pair{&options.compare, &golden}, std::pair{&options.input, &job}}) {
        if (!ReadWhole(*name, standardInput, *bytes)) {
            standardError << "ostrel-replay: cannot read " << *name << ": "
                          << std::strerror(errno != 0 ? errno : EIO) << "\n";
            return 1;
        }
    }
    std::string report;
    const bool same = CompareJobs(golden, job, report);
    standardOutput << report << std::flush;
    if (!standardOutput) {
        standardError << "ostrel-replay: cannot write to standard output\n";
        return 1;
    }
    return same ? 0 : 3;
}

class ReplyRecorder : public CaptureListener {
public:
    void chunkTaken(std::string_view, ByteSource*) override {}
    void replySent(std::string_view bytes, ByteSource*) override { replies.append(bytes); }
    std::string replies;
};


} // namespace

int RunReplay(const std::vector<std::string>& args, std::istream& standardInput,
              std::ostream& standardOutput, std::ostream& standardError)
{
    Options options;
    try {
        options = ParseOptions(args);
    } catch (const UsageError& error) {
        standardError << "ostrel-replay: " << error.reason << "\n" << kUsage;
        return 2;
    }
    if (options.help) {
        standardOutput << kUsage;
        return 0;
    }
    if (!options.compare.empty())
        return Compare(options, standardInput, standardOutput, standardError);

    // Two outputs of one file would leave only the one written last.
    std::string usage;
    if (!OutputsDistinct(options, usage)) {
        standardError << "ostrel-replay: " << usage << "\n" << kUsage;
        return 2;
    }

    FixedStatusControls status(static_cast<std::uint8_t>(options.statusByte1),
                               static_cast<std::uint8_t>(options.statusByte2),
                               options.statusReturn);
    CaptureSession session;
    session.setStatusControls(status);
    ReplyRecorder replies;
    session.addListener(replies);

    // The printer model reads the same chunks, only when its outputs are asked for.
    const bool modelWanted = !options.preview.empty() || !options.report.empty();
    render::ZintSymbolGeometry geometry;
    receipt::PrinterLimits limits;
    limits.paperWidth = options.paperWidth;
    receipt::ReceiptPrinter printer(geometry, limits);
    receipt::ReceiptFollower follower(printer);
    if (modelWanted)
        session.addListener(follower);

    // The input is taken a chunk at a time, so that memory stays flat however
    // long it is; the result does not depend on the chunking.
    std::ifstream file;
    std::istream* in = &OpenInput(options.input, standardInput, file);
    const auto readFailed = [&] {
        standardError << "ostrel-replay: cannot read " << options.input << ": "
                      << std::strerror(errno != 0 ? errno : EIO) << "\n";
        return 1;
    };
    if (!*in)
        return readFailed();
    const std::size_t chunk = options.chunk == 0 ? kDefaultChunk : options.chunk;
    std::vector<char> buffer(chunk);
    for (;;) {
        errno = 0;
        in->read(buffer.data(), static_cast<std::streamsize>(chunk));
        const auto got = static_cast<std::size_t>(in->gcount());
        if (in->bad())
            return readFailed();
        session.UpdateData(std::string_view(buffer.data(), got));
        if (in->eof() || got < chunk)
            break;
    }
    const LineView& log = session.listCommands();
    const LineView& hex = session.listDataReceivedHEX();
    const LineView& ascii = session.listDataReceived();

    std::string report, preview;
    if (!options.report.empty()) {
        receipt::CaptureFigures figures;
        figures.bytes = session.lblByteCount().value();
        figures.commands = session.lblCmdCount().value();
        figures.statusReplies = session.repliesSent();
        report = receipt::ReceiptReportJson(printer, figures);
    }
    if (!options.preview.empty()) {
        auto gui = render::GuiForTools();
        render::ReceiptRenderer renderer;
        QByteArray bytes;
        QString error;
        if (!renderer.encode(render::ReceiptsWithContent(printer.receipts()), printer.paperWidth(),
                             QString::fromStdString(options.preview), bytes, error)) {
            standardError << "ostrel-replay: cannot make " << options.preview << ": " << error.toStdString() << "\n";
            return 1;
        }
        preview.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }

    AtomicFileSet files;
    const bool staged =
        (options.log.empty() || files.stage(options.log, ViewFileBytes(log))) &&
        (options.hex.empty() || files.stage(options.hex, ViewFileBytes(hex))) &&
        (options.ascii.empty() || files.stage(options.ascii, ViewFileBytes(ascii))) &&
        (options.raw.empty() || files.stage(options.raw, RawCaptureFileBytes(session.state()))) &&
        (options.replies.empty() || files.stage(options.replies, replies.replies)) &&
        (options.report.empty() || files.stage(options.report, report)) &&
        (options.preview.empty() || files.stage(options.preview, preview));
    if (!staged || !files.commit()) {
        standardError << "ostrel-replay: cannot write " << files.error() << "\n";
        return 1;
    }
    if (options.log.empty()) {
        standardOutput << ViewFileBytes(log) << std::flush;
        if (!standardOutput) {
            standardError << "ostrel-replay: cannot write the command log to standard output: "
                          << std::strerror(errno != 0 ? errno : EIO) << "\n";
            return 1;
        }
    }
    if (options.counters)
        standardError << session.lblByteCount().text() << "\n" << session.lblCmdCount().text()
                      << "\n";
    return 0;
}

} // namespace ostrel
