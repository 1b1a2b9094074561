#include "app/display_check.h"
#include "app/quit_on_signals.h"
#include "app/saved_capture_loader.h"
#include "app/tool_options.h"
#include "files/atomic_file.h"
#include "files/qt_common_dialog.h"
#include "protocol/message_text.h"
#include "serial/qt_serial_control.h"
#include "service/session_printer.h"
#include "ui/form1.h"
#include "ui/printer_state_window.h"
#include "ui/receipt_preview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSettings>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

int main(int argc, char** argv)
{
    // The command line is read before the display is looked for, so that
    // --help, --version and bad usage answer over SSH as well.
    ostrel::ToolCommandLine line(
        "ostrel-serial-capture", QStringLiteral("A stand-in receipt printer on a serial line."));
    line.addListenOptions(
        QStringLiteral("Also take print jobs on TCP (127.0.0.1 unless an address is given), one "
                       "connection at a time, as a printer does; the others wait their turn."));
    const QCommandLineOption preview(QStringLiteral("preview"),
        QStringLiteral("Open the Receipt Preview beside the window at start."));
    line.add(preview);
    const QCommandLineOption open(QStringLiteral("open"),
        QStringLiteral(
            "Take a saved capture or job file in as if its bytes had just been "
            "received (nothing is sent back); a file dropped on the window does the same."),
        QStringLiteral("FILE"));
    line.add(open);
    const QCommandLineOption openLimit(QStringLiteral("open-limit"),
        QStringLiteral("Take at most SIZE bytes of a file opened or dropped (K, M, G: "
                       "KiB, MiB, GiB; default 64M); the rest is left, and a message says so."),
        QStringLiteral("SIZE"), QStringLiteral("64M"));
    line.add(openLimit);
    line.addPrinterOption();
    const QCommandLineOption forward(QStringLiteral("forward"),
        QStringLiteral("Pass what the programs send on to a real printer, a network "
                       "one at HOST[:PORT] (default port 9100; one connection a job) "
                       "or a serial one at serial:DEVICE[,SETTINGS], and its answers "
                       "back: network jobs (with --listen) and the serial port's bytes, "
                       "whose job ends after 1 s of silence. The window still captures "
                       "and shows every byte, and answers nothing itself (the status "
                       "bits and the Printer State window do not apply). At most 1 MiB "
                       "waits for a slow network printer."),
        QStringLiteral("TARGET"));
    const QCommandLineOption fallback(QStringLiteral("forward-fallback"),
        QStringLiteral("When the printer cannot be reached or fails: \"silent\" "
                       "(default), as an unplugged printer is, or \"answer\": the "
                       "window answers from then on."),
        QStringLiteral("silent|answer"), QStringLiteral("silent"));
    line.add(forward);
    line.add(fallback);
    line.addPrinterInTimeOptions();
    // Qt's own options (-platform, -style...) are only known once the
    // application has taken them out, so bad usage is told after that.
    std::ostringstream earlyUsage;
    const auto early
        = line.parse(ostrel::ToolCommandLine::Arguments(argc, argv), std::cout, earlyUsage);
    if (early && earlyUsage.str().empty())
        return *early;
    // The options' values are checked before the display too, so that bad
    // usage is bad usage with a display or without.
    std::optional<ostrel::ListenAddress> where;
    ostrel::TcpJobLimits limits;
    std::string error;
    const ostrel::receipt::PrinterProfile* profile = nullptr;
    long long mostOpened = 0;
    std::string forwardHost, forwardSerial, forwardSerialSettings;
    quint16 forwardPort = 9100;
    bool fallbackAnswer = false;
    std::optional<ostrel::PrintPace::Settings> pace;
    std::vector<ostrel::FaultLine> script;
    const auto readValues = [&] {
        if (!line.listen(where, error) || !line.jobLimits(limits, error) || !line.noArguments(error)
            || !line.printerProfile(profile, error)
            || !line.size(openLimit.names().constFirst(), mostOpened, error)
            || !line.forwardFallback(fallbackAnswer, error))
            return false;
        if (line.parser().isSet(forward)) {
            const std::string target = ostrel::LocalBytes(line.parser().value(forward));
            if (ostrel::IsSerialTarget(target, forwardSerial, forwardSerialSettings)) {
                if (forwardSerial.empty()) {
                    error
                        = "--forward: serial: needs a device, as in serial:/dev/ttyUSB0,9600,N,8,1";
                    return false;
                }
            } else if (!ostrel::ParseForwardTarget(target, forwardHost, forwardPort, error)) {
                error = "--forward: " + error;
                return false;
            }
        }
        if (!line.printerInTime(*profile, pace, script, error))
            return false;
        if (pace && line.parser().isSet(forward)) {
            error = "--forward: the real printer prints in its own time; leave out --print-speed, "
                    "--buffer, --roll "
                    "and --script";
            return false;
        }
        if (mostOpened <= 0)
            error = "--open-limit: takes a size of at least one byte";
        return mostOpened > 0;
    };
    if (!early && !readValues())
        return line.usage(error, std::cerr);

    // Where no display can be had (a server, a CI runner, an SSH session, a
    // stale DISPLAY), one plain line instead of the platform plugin's abort.
    if (const std::string problem = ostrel::DisplayProblem(); !problem.empty()) {
        if (early) {
            std::cerr << earlyUsage.str();
            return *early;
        }
        std::cerr << "ostrel-serial-capture: " << problem
                  << "; without a window, use ostrel-capture to take jobs from a port and "
                     "ostrel-replay to read a saved job\n";
        return 1;
    }
    ostrel::SetRuntimeDirFallback();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel-serial-capture"));
    QApplication::setDesktopFileName(QStringLiteral("ostrel-serial-capture"));
    if (early) {
        if (const auto answered = line.parse(QApplication::arguments(), std::cout, std::cerr))
            return *answered;
    }
    if (early && !readValues())
        return line.usage(error, std::cerr);

    ostrel::CaptureSession session;
    ostrel::QtSerialControl MSComm1;
    ostrel::QtCommonDialog CommonDialog1;
    ostrel::Form1 form(session, MSComm1, CommonDialog1);
    CommonDialog1.setParent(&form);
    ostrel::ReceiptPreview receiptPreview(session);
    ostrel::PrinterStateWindow printerState(
        session, [&form](bool answer) { form.setSerialRealTimeReplies(answer); });
    form.showReceiptPreview = [&] { receiptPreview.showBeside(&form, &printerState); };
    form.showPrinterState = [&] { printerState.showBeside(&form, &receiptPreview); };
    receiptPreview.showPrinterState = [&] { printerState.showBeside(&form, &receiptPreview); };
    // The printer every port feeds; the model chosen answers GS I as itself,
    // and with --forward the real printer's answers are read in its language.
    ostrel::SessionPrinterOptions hosting;
    hosting.listen = where;
    hosting.limits = limits;
    hosting.pace = pace;
    hosting.script = script;
    hosting.forwardHost = forwardHost;
    hosting.forwardPort = forwardPort;
    hosting.forwardSerial = forwardSerial;
    hosting.forwardSerialSettings = forwardSerialSettings;
    hosting.fallbackAnswer = fallbackAnswer;
    ostrel::SessionPrinter printer(session, MSComm1, form.serialSource(), hosting);
    printer.said
        = [](const std::string& line) { std::cerr << "ostrel-serial-capture: " << line << "\n"; };
    receiptPreview.printerChosen
        = [&printer](const ostrel::receipt::PrinterProfile& model) { printer.setModel(model); };
    // The new windows come back as the user left them; the main window starts
    // as it always does.
    QSettings remembered(QStringLiteral("ostrel"), QStringLiteral("ostrel-serial-capture"));
    receiptPreview.restoreSettings(remembered);
    if (line.parser().isSet(QStringLiteral("printer")))
        receiptPreview.setPrinter(QString::fromStdString(profile->id));
    printerState.restoreSettings(remembered);
    // A file is read a slice a turn of the event loop, so the window, the
    // ports' replies and the signals are never held up by it.
    ostrel::SavedCaptureLoader loader(session, mostOpened);
    loader.taken = [&form] { form.showCapture(); };
    loader.dropZeros = [](const std::string& path, long long zeros) {
        const QString text = QStringLiteral(
            "%1 is a raw capture file, which always holds 10,000 bytes. Its last %2 bytes are "
            "zeros: "
            "padding after what was received, or NUL bytes received, which nothing beside it tells "
            "apart (its command log, the .txt of the same name, is missing or does not match).\n\n"
            "Leave out the %2 zeros at the end?")
                                 .arg(QString::fromStdString(ostrel::QuotedForMessage(path)))
                                 .arg(zeros);
        return QMessageBox::question(QApplication::activeWindow(), QStringLiteral("Open Capture"),
                   text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
            == QMessageBox::Yes;
    };
    const auto openDropped = [&](const QString& file) {
        std::string reason;
        loader.told = [](const std::string& message) {
            QMessageBox::warning(QApplication::activeWindow(), QStringLiteral("Open Capture"),
                QString::fromStdString(message));
        };
        if (!loader.open(ostrel::LocalBytes(file), reason))
            loader.told(reason);
    };
    form.fileDropped = openDropped;
    receiptPreview.fileDropped = openDropped;

    if (!printer.start(receiptPreview.printer().profile(), error)) {
        std::cerr << "ostrel-serial-capture: " << error << "\n";
        return 1;
    }
    if (!printer.listeningOn().empty())
        form.setWindowTitle(form.windowTitle() + QStringLiteral(" - listening on ")
            + QString::fromStdString(printer.listeningOn()));
    if (ostrel::PrinterInTime* const paced = printer.inTime()) {
        printer.printerEvent = [&receiptPreview](const std::string& what) {
            receiptPreview.showPrinterEvent(QString::fromStdString(what));
        };
        printerState.stateChosen
            = [&printer](const ostrel::PrinterState& state) { printer.setState(state); };
        receiptPreview.followPrinting([paced] { return paced->pace().printed(); });
        printerState.showPrinting(
            [paced] { return QString::fromStdString(ostrel::DescribePrinting(*paced)); },
            [paced] { paced->loadPaper(); });
    }
    if (ostrel::ForwardingSink* const forwarding = printer.forwarding()) {
        printer.answeredRequest = [&receiptPreview](const ostrel::ByteSource& source, long long end,
                                      const std::string& said) {
            receiptPreview.showPrinterAnswer(source, end, QString::fromStdString(said));
        };
        // The newest job's conversation, as ostrel-capture keeps it: its JSON, and the
        // printer's bytes beside it.
        receiptPreview.saveConversation = [forwarding](const QString& path, QString& why) {
            const std::string json = forwarding->conversationJson();
            if (json.empty()) {
                why = QStringLiteral("no job was forwarded yet");
                return false;
            }
            std::string error;
            const std::string name = ostrel::LocalBytes(path);
            const std::string replies = name.substr(0, name.size() - 5) + ".replies.bin";
            if (!ostrel::WriteWholeFile(name, json + "\n", error)
                || !ostrel::WriteWholeFile(replies, forwarding->printerBytes(), error)) {
                why = QString::fromStdString(error);
                return false;
            }
            return true;
        };
        form.setWindowTitle(form.windowTitle()
            + QStringLiteral(" - forwarding to %1: the printer answers, the "
                             "status bits and Printer State do not apply")
                  .arg(QString::fromStdString(forwarding->target())));
    }
    ostrel::QuitOnSignals();
    if (line.parser().isSet(open)) {
        loader.told = [](const std::string& message) {
            std::cerr << "ostrel-serial-capture: " << message << "\n";
        };
        if (!loader.open(ostrel::LocalBytes(line.parser().value(open)), error)) {
            std::cerr << "ostrel-serial-capture: " << error << "\n";
            return 1;
        }
    }
    form.show();
    if (line.parser().isSet(preview))
        receiptPreview.showBeside(&form, &printerState);
    const int status = application.exec();
    printer.finish();
    receiptPreview.saveSettings(remembered);
    printerState.saveSettings(remembered);
    remembered.sync();
    if (remembered.status() != QSettings::NoError)
        std::cerr << "ostrel-serial-capture: cannot keep the windows' places in "
                  << remembered.fileName().toStdString() << "\n";
    return status;
}
