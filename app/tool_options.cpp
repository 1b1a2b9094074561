#include "app/tool_options.h"

#include "protocol/message_text.h"
#include "receipt/command_text.h"
#include "serial/line_settings.h"
#include "serial/serial_control.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>

namespace ostrel {

namespace {

    const QString kStatusBits = QStringLiteral("status-bits");
    const QString kIdleTimeout = QStringLiteral("idle-timeout");
    const QString kListen = QStringLiteral("listen");
    const QString kJobTimeout = QStringLiteral("job-timeout");

    bool ParseWhole(const QString& text, long long& value)
    {
        bool ok = false;
        value = text.trimmed().toLongLong(&ok);
        return ok;
    }

} // namespace

ToolCommandLine::ToolCommandLine(std::string program, const QString& description)
    : program_(std::move(program))
{
    parser_.setApplicationDescription(description);
    // Not Qt's help option: it adds --help-all, for Qt's own options, which
    // these programs do not offer.
    parser_.addOption({ { QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Print these options and exit.") });
    parser_.addOption({ { QStringLiteral("v"), QStringLiteral("version") },
        QStringLiteral("Print the version and exit.") });
}

void ToolCommandLine::addPositional(
    const QString& name, const QString& description, const QString& syntax)
{
    parser_.addPositionalArgument(name, description, syntax);
}

void ToolCommandLine::addStatusOptions()
{
    parser_.addOption({ kStatusBits,
        QStringLiteral("The two status bytes, decimal 0-255 (default 0,8: the "
                       "window's start-up boxes)."),
        QStringLiteral("B1,B2"), QStringLiteral("0,8") });
    parser_.addOption({ QStringLiteral("no-status-return"),
        QStringLiteral("Do not answer status requests, as if \"Enable Status "
                       "Return\" were unticked.") });
}

void ToolCommandLine::addStateOption()
{
    QString names;
    for (const PrinterStateName& name : PrinterStateNames())
        names += (names.isEmpty() ? "" : ", ") + QString::fromLatin1(name.name);
    parser_.addOption({ QStringLiteral("state"),
        QStringLiteral("The printer's state for the real-time status replies (DLE EOT, GS r, "
                       "GS a): a comma-separated list of ")
            + names + QStringLiteral(". Default: online, paper loaded, cover closed."),
        QStringLiteral("LIST") });
}

void ToolCommandLine::addPrinterInTimeOptions(bool script)
{
    scriptOption_ = script;
    parser_.addOption({ QStringLiteral("print-speed"),
        QStringLiteral("Print at MM/S millimetres a second, or at the --printer model's own speed "
                       "(\"model\"): GS r and Star's ETB are answered once the paper before them "
                       "has printed; DLE EOT and the others at once, as ever. Without it (and the "
                       "options below) every job prints the instant it arrives."),
        QStringLiteral("MM/S|model") });
    parser_.addOption({ QStringLiteral("buffer"),
        QStringLiteral("The receive buffer: at most SIZE bytes wait to be printed (K, M: KiB, MiB; "
                       "default: the model's, or 4K); when full, a network job is read no further "
                       "and the serial port says busy (RTS with --hw-handshake, XOFF without)."),
        QStringLiteral("SIZE") });
    parser_.addOption({ QStringLiteral("roll"),
        QStringLiteral("A roll of METRES of paper: it goes to paper near end, then to paper out in "
                       "the middle of what prints; the rest waits until paper is loaded (the state "
                       "file written again without paper-out, or Load Paper)."),
        QStringLiteral("METRES") });
    parser_.addOption({ QStringLiteral("near-end"),
        QStringLiteral("With --roll: paper near end once METRES are left (default: a tenth of the "
                       "roll)."),
        QStringLiteral("METRES") });
    if (script)
        parser_.addOption({ QStringLiteral("script"),
            QStringLiteral(
                "Faults on a schedule, one a line: \"after receipt 3: paper-out\", \"after 2 s: "
                "cover-open\", \"after 500 mm: paper-near-end\", \"after 40000 bytes: "
                "offline\", \"after 1 s: clear\"; \"after\" counts from the line before, "
                "\"at\" from the start; the state is a list as --state takes it."),
            QStringLiteral("FILE") });
}

void ToolCommandLine::addPrinterOption()
{
    printerOption_ = true;
    parser_.addOption({ QStringLiteral("printer"),
        QStringLiteral(
            "Print as this printer model does: its code page numbers, print width and the "
            "commands it knows (default: generic). \"--printer list\" lists the models."),
        QStringLiteral("MODEL") });
}

// One line a model: what --printer takes, and what the model is.
static std::string PrinterList()
{
    std::string list;
    for (const receipt::PrinterProfile* profile : receipt::PrinterProfiles()) {
        std::string fonts;
        for (const auto& font : profile->fonts)
            fonts += std::string(fonts.empty() ? "" : ", ") + font.name + " "
                + std::to_string(font.columns);
        char line[256];
        std::snprintf(line, sizeof line, "%-20s %-11s %s %s, %d mm, %d dots, columns %s\n",
            profile->id.c_str(), receipt::LanguageName(profile->language), profile->vendor.c_str(),
            profile->model.c_str(), profile->paperMillimetres, profile->printDots, fonts.c_str());
        list += line;
    }
    return list;
}

bool ToolCommandLine::printerProfile(
    const receipt::PrinterProfile*& profile, std::string& error) const
{
    profile = &receipt::GenericProfile();
    if (!printerOption_ || !parser_.isSet(QStringLiteral("printer")))
        return true;
    const std::string id = parser_.value(QStringLiteral("printer")).toStdString();
    profile = receipt::FindPrinterProfile(id);
    if (profile)
        return true;
    error = "--printer: takes a model of \"--printer list\", not \"" + QuotedForMessage(id) + "\"";
    return false;
}

bool ToolCommandLine::printerState(PrinterState& state, std::string& error) const
{
    if (!ParsePrinterState(parser_.value(QStringLiteral("state")).toStdString(), state, error)) {
        error = "--state: " + error;
        return false;
    }
    return true;
}

void ToolCommandLine::addListenOptions(const QString& listenDescription)
{
    parser_.addOption({ kListen, listenDescription, QStringLiteral("[ADDRESS:]PORT") });
    parser_.addOption({ kIdleTimeout,
        QStringLiteral("TCP: end a job whose client is silent this long (default 30)."),
        QStringLiteral("S"), QStringLiteral("30") });
    parser_.addOption({ kJobTimeout,
        QStringLiteral("TCP: end a job that lasts longer than this, so that no client "
                       "holds the printer for ever; 0: no limit (default 600)."),
        QStringLiteral("S"), QStringLiteral("600") });
}

void ToolCommandLine::addSerialOptions()
{
    parser_.addOption({ QStringLiteral("serial"),
        QStringLiteral("Take jobs from a serial port: a port number or a device."),
        QStringLiteral("N|DEVICE") });
    parser_.addOption({ QStringLiteral("settings"),
        QStringLiteral("Serial line settings (default \"115200, N, 8, 1\")."),
        QStringLiteral("SETTINGS"), QStringLiteral("115200, N, 8, 1") });
    parser_.addOption({ QStringLiteral("hw-handshake"),
        QStringLiteral("RTS/CTS flow control instead of XON/XOFF.") });
}

QStringList ToolCommandLine::Arguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << TextOfLocalBytes(argv[i]);
    return arguments;
}

namespace {
    // Where a byte that is not UTF-8 is kept: a lone low surrogate, which no
    // text decoded from UTF-8 can hold.
    constexpr char16_t kByteKeeper = 0xDC00;
} // namespace

QString TextOfLocalBytes(std::string_view bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t code = 0;
        const std::size_t length = Utf8CharacterAt(bytes, at, code);
        if (length == 0) {
            text += QChar(
                static_cast<char16_t>(kByteKeeper + static_cast<unsigned char>(bytes[at])));
            ++at;
        } else {
            text += QString::fromUcs4(&code, 1);
            at += length;
        }
    }
    return text;
}

std::string LocalBytes(const QString& text)
{
    std::string bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size()
            && QChar::isLowSurrogate(text[i + 1].unicode())) {
            receipt::AppendUtf8(bytes, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= kByteKeeper + 0x80 && unit <= kByteKeeper + 0xFF) {
            bytes += static_cast<char>(unit - kByteKeeper);
        } else {
            receipt::AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

std::optional<int> ToolCommandLine::parse(
    const QStringList& arguments, std::ostream& out, std::ostream& err)
{
    if (!parser_.parse(arguments))
        return usage(ParseProblem(arguments), err);
    if (parser_.isSet(QStringLiteral("help"))) {
        out << helpText().toStdString() << std::flush;
        return out ? 0 : 1;
    }
    if (parser_.isSet(QStringLiteral("version"))) {
        out << versionLine() << "\n" << std::flush;
        return out ? 0 : 1;
    }
    if (printerOption_ && parser_.value(QStringLiteral("printer")) == QStringLiteral("list")) {
        out << PrinterList() << std::flush;
        return out ? 0 : 1;
    }
    return std::nullopt;
}

std::string ToolCommandLine::ParseProblem(const QStringList& arguments) const
{
    // In the programs' own words, naming the option as it was typed.
    const auto typed = [&arguments](const QString& name) {
        for (const QString& argument : arguments.mid(1)) {
            const QString bare = argument.section(QLatin1Char('='), 0, 0);
            if (bare == QStringLiteral("-") + name || bare == QStringLiteral("--") + name)
                return LocalBytes(bare);
        }
        return "--" + LocalBytes(name);
    };
    if (!parser_.unknownOptionNames().isEmpty())
        return QuotedForMessage(typed(parser_.unknownOptionNames().constFirst()))
            + ": no such option";
    const QString text = parser_.errorText();
    static const QLatin1String missing("Missing value after '");
    if (text.startsWith(missing)) {
        const QString option = text.mid(missing.size()).section(QLatin1Char('\''), 0, 0);
        return QuotedForMessage(LocalBytes(option)) + ": needs a value";
    }
    static const QLatin1String unexpected("Unexpected value after '");
    if (text.startsWith(unexpected)) {
        const QString option = text.mid(unexpected.size()).section(QLatin1Char('\''), 0, 0);
        return QuotedForMessage(LocalBytes(option)) + ": takes no value";
    }
    return QuotedForMessage(text.toStdString());
}

bool ToolCommandLine::needs(const QString& option, const QString& needed, std::string& error) const
{
    if (!parser_.isSet(option) || parser_.isSet(needed))
        return true;
    error = "--" + option.toStdString() + ": has no effect without --" + needed.toStdString();
    return false;
}

bool ToolCommandLine::forwardFallback(bool& answer, std::string& error) const
{
    const QString value = parser_.value(QStringLiteral("forward-fallback"));
    answer = value == QStringLiteral("answer");
    if (value != QStringLiteral("silent") && !answer) {
        error = "--forward-fallback: takes silent or answer, not \""
            + QuotedForMessage(LocalBytes(value)) + "\"";
        return false;
    }
    return needs(QStringLiteral("forward-fallback"), QStringLiteral("forward"), error);
}

int ToolCommandLine::usage(const std::string& reason, std::ostream& err) const
{
    err << program_ << ": " << reason << "\n(see " << program_ << " --help)\n" << std::flush;
    return 2;
}

QString ToolCommandLine::helpText() const
{
    // Qt names the program by the path it was started with, or not at all
    // before the application exists; the help names it as it is installed.
    QString text = parser_.helpText();
    const qsizetype options = text.indexOf(QStringLiteral(" [options]"));
    if (text.startsWith(QStringLiteral("Usage: ")) && options > 0)
        text.replace(7, options - 7, QString::fromStdString(program_));
    return text;
}

std::string ToolCommandLine::versionLine() const { return program_ + " " + OSTREL_VERSION; }

bool ToolCommandLine::number(const QString& option, long long low, long long high, const char* what,
    long long& value, std::string& error) const
{
    if (ParseWhole(parser_.value(option), value) && value >= low && value <= high)
        return true;
    error = "--" + option.toStdString() + ": takes " + what + ", a whole number from "
        + std::to_string(low) + " to " + std::to_string(high) + ", not \""
        + QuotedForMessage(LocalBytes(parser_.value(option))) + "\"";
    return false;
}

bool ToolCommandLine::size(const QString& option, long long& bytes, std::string& error) const
{
    QString text = parser_.value(option).trimmed();
    int shift = 0;
    const QChar unit = text.isEmpty() ? QChar() : text.back().toUpper();
    if (unit == QLatin1Char('K') || unit == QLatin1Char('M') || unit == QLatin1Char('G')) {
        shift = unit == QLatin1Char('K') ? 10 : unit == QLatin1Char('M') ? 20 : 30;
        text.chop(1);
    }
    long long value = 0;
    if (ParseWhole(text, value) && value >= 0 && value <= (1LL << (50 - shift))) {
        bytes = value << shift;
        return true;
    }
    error = "--" + option.toStdString()
        + ": takes a size in bytes, with K, M or G if you like, not \""
        + QuotedForMessage(LocalBytes(parser_.value(option))) + "\"";
    return false;
}

bool ToolCommandLine::noArguments(std::string& error) const
{
    if (parser_.positionalArguments().isEmpty())
        return true;
    error = QuotedForMessage(LocalBytes(parser_.positionalArguments().constFirst()))
        + ": not an option, and this program takes no arguments";
    return false;
}

bool ToolCommandLine::statusBits(std::uint8_t& byte1, std::uint8_t& byte2, std::string& error) const
{
    const QString text = parser_.value(kStatusBits);
    const QStringList bits = text.split(QLatin1Char(','));
    long long b1 = -1, b2 = -1;
    if (bits.size() != 2 || !ParseWhole(bits[0], b1) || !ParseWhole(bits[1], b2) || b1 < 0 || b2 < 0
        || b1 > 255 || b2 > 255) {
        error = "--status-bits: takes two numbers 0-255 as B1,B2, not \""
            + QuotedForMessage(LocalBytes(text)) + "\"";
        return false;
    }
    byte1 = static_cast<std::uint8_t>(b1);
    byte2 = static_cast<std::uint8_t>(b2);
    return true;
}

bool ToolCommandLine::listen(std::optional<ListenAddress>& where, std::string& error) const
{
    where.reset();
    if (!parser_.isSet(kListen))
        return true;
    ListenAddress address;
    if (!ParseListenAddress(parser_.value(kListen).toStdString(), address, error)) {
        error = "--listen: " + error;
        return false;
    }
    where = address;
    return true;
}

bool ToolCommandLine::jobLimits(TcpJobLimits& limits, std::string& error) const
{
    // A day at most: the timers count milliseconds in an int.
    long long idle = 0, whole = 0;
    if (!needs(kIdleTimeout, kListen, error) || !needs(kJobTimeout, kListen, error)
        || !number(kIdleTimeout, 1, 86400, "seconds", idle, error)
        || !number(kJobTimeout, 0, 86400, "seconds", whole, error))
        return false;
    limits.idle = std::chrono::seconds(idle);
    limits.whole = std::chrono::seconds(whole);
    return true;
}

bool ToolCommandLine::serial(SerialOptions& serial, std::string& error) const
{
    serial.port = LocalBytes(parser_.value(QStringLiteral("serial")));
    serial.settings = parser_.value(QStringLiteral("settings")).toStdString();
    serial.hwHandshake = parser_.isSet(QStringLiteral("hw-handshake"));
    if (!needs(QStringLiteral("settings"), QStringLiteral("serial"), error)
        || !needs(QStringLiteral("hw-handshake"), QStringLiteral("serial"), error))
        return false;
    try {
        ParseLineSettings(serial.settings);
    } catch (const SerialError& wrong) {
        error = "--settings: " + QuotedForMessage(wrong.what());
        return false;
    }
    return true;
}

} // namespace ostrel

namespace ostrel {

// A decimal from `low` up, as --print-speed and --roll take them.
static bool Decimal(const QString& text, double low, double& value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && value >= low && value <= 1e6;
}

bool ToolCommandLine::printerInTime(const receipt::PrinterProfile& model,
    std::optional<PrintPace::Settings>& pace, std::vector<FaultLine>& script,
    std::string& error) const
{
    const auto isSet = [this](const char* name) {
        return (scriptOption_ || std::string_view(name) != "script")
            && parser_.isSet(QString::fromLatin1(name));
    };
    if (!isSet("print-speed") && !isSet("buffer") && !isSet("roll") && !isSet("script")) {
        if (!needs(QStringLiteral("near-end"), QStringLiteral("roll"), error))
            return false;
        return true;
    }
    PrintPace::Settings settings;
    const QString speed = parser_.value(QStringLiteral("print-speed"));
    if (speed == QStringLiteral("model")) {
        settings.mmPerSecond = model.printSpeed;
        if (model.printSpeed <= 0) {
            error = "--print-speed: the model " + model.id
                + " has no print speed of its own; give one in mm/s";
            return false;
        }
    } else if (isSet("print-speed")
        && (!Decimal(speed, 0, settings.mmPerSecond) || settings.mmPerSecond <= 0)) {
        error = "--print-speed: takes millimetres a second, more than 0, or \"model\", not \""
            + QuotedForMessage(LocalBytes(speed)) + "\"";
        return false;
    }
    settings.buffer = model.receiveBuffer > 0 ? model.receiveBuffer : 4096;
    if (isSet("buffer")) {
        if (!size(QStringLiteral("buffer"), settings.buffer, error))
            return false;
        if (settings.buffer < 1 || settings.buffer > (1LL << 30)) {
            error = "--buffer: takes from 1 byte to 1G";
            return false;
        }
    }
    if (isSet("roll")
        && (!Decimal(parser_.value(QStringLiteral("roll")), 0, settings.rollMetres)
            || settings.rollMetres <= 0)) {
        error = "--roll: takes metres of paper, more than 0, not \""
            + QuotedForMessage(LocalBytes(parser_.value(QStringLiteral("roll")))) + "\"";
        return false;
    }
    settings.nearEndMetres = settings.rollMetres / 10;
    if (isSet("near-end")
        && (!needs(QStringLiteral("near-end"), QStringLiteral("roll"), error)
            || !Decimal(parser_.value(QStringLiteral("near-end")), 0, settings.nearEndMetres)
            || settings.nearEndMetres >= settings.rollMetres)) {
        if (error.empty())
            error = "--near-end: takes metres, from 0 to less than the roll, not \""
                + QuotedForMessage(LocalBytes(parser_.value(QStringLiteral("near-end")))) + "\"";
        return false;
    }
    if (isSet("script")) {
        const std::string path = LocalBytes(parser_.value(QStringLiteral("script")));
        std::ifstream in(path, std::ios::binary);
        if (!in.is_open()) {
            error = "--script: cannot open " + QuotedForMessage(path) + ": " + std::strerror(errno);
            return false;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) {
            error = "--script: cannot read " + QuotedForMessage(path) + ": " + std::strerror(errno);
            return false;
        }
        if (text.size() > (1 << 20)) {
            error = "--script: " + QuotedForMessage(path) + " is over 1 MiB";
            return false;
        }
        std::string why;
        if (!ParseFaultScript(text, script, why)) {
            error = "--script: " + QuotedForMessage(path) + ": " + QuotedForMessage(why);
            return false;
        }
    }
    pace = settings;
    return true;
}

} // namespace ostrel
