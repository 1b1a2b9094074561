#pragma once

#include "serial/line_settings.h"

#include "net/listen_address.h"
#include "net/tcp_printer_port.h"
#include "printer/fault_script.h"
#include "printer/printer_state.h"
#include "receipt/printer_profile.h"
#include "session/print_pace.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// File names are bytes: a command-line argument is made text without losing
// any (bytes that are not UTF-8 are kept apart), and given back as the same
// bytes to open the file by.
QString TextOfLocalBytes(std::string_view bytes);
std::string LocalBytes(const QString& text);

// The command line of every program: Qt's parser, the options the programs
// share (each defined here once, with one set of bounds), and one way to
// answer --help, --version and bad usage.
class ToolCommandLine {
public:
    ToolCommandLine(std::string program, const QString& description);

    const QCommandLineParser& parser() const { return parser_; }
    void add(const QCommandLineOption& option) { parser_.addOption(option); }
    void addPositional(const QString& name, const QString& description, const QString& syntax = {});

    // --status-bits B1,B2 and --no-status-return.
    void addStatusOptions();
    // --state LIST: the printer state the real-time replies carry.
    void addStateOption();
    // --printer MODEL; "--printer list" prints the models and ends.
    void addPrinterOption();
    // --listen [ADDRESS:]PORT, --idle-timeout S and --job-timeout S.
    void addListenOptions(const QString& listenDescription);
    // --serial N|DEVICE, --settings and --hw-handshake.
    void addSerialOptions();
    // --print-speed, --buffer, --roll, --near-end and (with `script`)
    // --script: a printer in time.
    void addPrinterInTimeOptions(bool script = true);

    // Reads the arguments (the program's name first). Answers --help and
    // --version on `out`, and bad usage with one line on `err`; then it gives
    // the exit status (0 or 2). Without an answer it gives nothing and the
    // program goes on.
    std::optional<int> parse(const QStringList& arguments, std::ostream& out, std::ostream& err);
    static QStringList Arguments(int argc, char** argv);

    // Each reader gives false with a reason that names the option.
    bool statusBits(std::uint8_t& byte1, std::uint8_t& byte2, std::string& error) const;
    bool statusReturn() const { return !parser_.isSet(QStringLiteral("no-status-return")); }
    bool printerState(PrinterState& state, std::string& error) const;
    // The model --printer names (the generic one without it).
    bool printerProfile(const receipt::PrinterProfile*& profile, std::string& error) const;
    bool listen(std::optional<ListenAddress>& where, std::string& error) const;
    // The limits on a network job: --idle-timeout and --job-timeout.
    bool jobLimits(TcpJobLimits& limits, std::string& error) const;
    // The serial options, the settings read; false with a reason when they
    // are wrong or given without --serial.
    bool serial(SerialOptions& serial, std::string& error) const;
    // False, naming the first one, when arguments were given to a program
    // that takes none.
    bool noArguments(std::string& error) const;
    // A whole number from `low` to `high`; `what` names the unit ("seconds").
    bool number(const QString& option, long long low, long long high, const char* what,
        long long& value, std::string& error) const;

    // A size in bytes, with an optional K, M or G (KiB, MiB, GiB).
    bool size(const QString& option, long long& bytes, std::string& error) const;

    // False, with a reason naming both, when `option` is given without
    // `needed`, without which it would do nothing.
    bool needs(const QString& option, const QString& needed, std::string& error) const;
    // --forward-fallback: silent (false) or answer (true); it needs --forward.
    bool forwardFallback(bool& answer, std::string& error) const;
    // The printer in time those options ask for, as `model` prints, and the
    // script's lines (read from its file); nothing when none is given.
    bool printerInTime(const receipt::PrinterProfile& model,
        std::optional<PrintPace::Settings>& pace, std::vector<FaultLine>& script,
        std::string& error) const;

    // One line for bad usage found after parsing; gives 2, the exit status.
    int usage(const std::string& reason, std::ostream& err) const;

    QString helpText() const;
    std::string versionLine() const;

private:
    std::string ParseProblem(const QStringList& arguments) const;

    std::string program_;
    QCommandLineParser parser_;
    bool printerOption_ = false;
    bool scriptOption_ = false;
};

} // namespace ostrel
