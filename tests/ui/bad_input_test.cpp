// Every kind of bad input the window takes, one after another on the same
// capture: each is reported, and nothing captured changes.

#include "serial/qt_serial_control.h"
#include "tests/capture/capture_fixture.h"
#include "tests/serial/pseudo_terminal.h"
#include "tests/ui/window_test_support.h"

#include <gtest/gtest.h>

#include <QScreen>

#include <filesystem>
#include <unistd.h>

namespace ostrel::test {
namespace {

    struct Seen {
        std::vector<std::string> ascii, hex, log;
        QString bytes, commands;
        CaptureState state;
        bool operator==(const Seen& o) const
        {
            return ascii == o.ascii && hex == o.hex && log == o.log && bytes == o.bytes
                && commands == o.commands && state.captureBuffer == o.state.captureBuffer
                && state.captureIndex == o.state.captureIndex
                && state.commandBytes == o.state.commandBytes
                && state.commandByteIndex == o.state.commandByteIndex
                && state.paramBytesPending == o.state.paramBytesPending
                && state.commandCount == o.state.commandCount
                && state.rowColumn == o.state.rowColumn;
        }
    };

    Seen Capture(const Form1& f)
    {
        return { ListTexts(f.listDataReceived), ListTexts(f.listDataReceivedHEX),
            ListTexts(f.listCommands), f.lblByteCount->text(), f.lblCmdCount->text(),
            f.engine().state() };
    }

    struct BadInput {
        enum Kind { Settings, Port, FileName } kind;
        std::string text;
        const char* inMessage; // nullptr: no message at all
    };

    TEST(BadInput, ReportedAndTheCaptureStaysIntact)
    {
        PortLinks links;
        PseudoTerminal host;
        links.link(1, host.portPath());
        links.link(7, "/nonexistent/ttyBadInput");
        QtSerialControl comm;
        FakeDialog dialog;
        CaptureSession session;
        Form1 form(session, comm, dialog);

        // A capture with an open command in it: ESC "!" waits for its parameter.
        form.chkEnableSerialPort->click();
        host.write(Bytes("1B 40") + "Receipt" + Bytes("0A 10 52 1B 21"));
        ASSERT_TRUE(WaitUntil([&] { return form.lblByteCount->text() == "Bytes Received = 14"; }));
        ASSERT_EQ(host.read(4), Bytes("10 52 00 08"));
        form.chkEnableSerialPort->click();
        ASSERT_FALSE(comm.PortOpen());

        QtSerialControl holder; // another program holding port 1
        const std::filesystem::path folder
            = std::filesystem::temp_directory_path() / ("ostrel-bad-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder / "a folder.txt");

        const BadInput cases[] = {
            { BadInput::Settings, "", "four parts" },
            { BadInput::Settings, "19200,N,8", "four parts" },
            { BadInput::Settings, "19200,N,8,1,0", "four parts" },
            { BadInput::Settings, "fast, N, 8, 1", "baud rate" },
            { BadInput::Settings, "0, N, 8, 1", "baud rate" },
            { BadInput::Settings, "-9600, N, 8, 1", "baud rate" },
            { BadInput::Settings, "9600, X, 8, 1", "parity" },
            { BadInput::Settings, "9600, N, 9, 1", "data bits" },
            { BadInput::Settings, "9600, N, 4, 1", "data bits" },
            { BadInput::Settings, "9600, N, 8, 3", "stop bits" },
            { BadInput::Settings, std::string(5000, '9') + ", N, 8, 1", "baud rate" },
            { BadInput::Settings, "9600, E, 8, 1", "Parity refused" },
            { BadInput::Settings, "9600, N, 7, 1", "7 data bits refused" },
            { BadInput::Port, "COM3", "Error Opening Comm Port 0:" },
            { BadInput::Port, "0", "Invalid port number 0" },
            { BadInput::Port, "-2", "Invalid port number -2" },
            { BadInput::Port, "40000", "out of range" },
            { BadInput::Port, "7", "No such file or directory: /nonexistent/ttyBadInput" },
            { BadInput::Port, "held", "locking the device" },
            { BadInput::FileName, (folder / "missing" / "job.txt").string(), "Could not save" },
            { BadInput::FileName, (folder / "a folder.txt").string(), "Could not save" },
            { BadInput::FileName, "/proc/ostrel-job.txt", "Could not save" },
            { BadInput::FileName, "", nullptr },
        };
        const Seen before = Capture(form);
        for (const BadInput& c : cases) {
            SCOPED_TRACE(c.text);
            form.comboSerialPort->setEditText("1");
            form.ComboSerialBaudRate->setEditText("115200, N, 8, 1");
            MessageCloser closer;
            switch (c.kind) {
            case BadInput::Settings:
                form.ComboSerialBaudRate->setEditText(QString::fromStdString(c.text));
                form.chkEnableSerialPort->click();
                break;
            case BadInput::Port:
                if (c.text == "held") {
                    holder.setCommPort(1);
                    holder.setHandshaking(comXOnXoff);
                    holder.setPortOpen(true);
                } else {
                    form.comboSerialPort->setEditText(QString::fromStdString(c.text));
                }
                form.chkEnableSerialPort->click();
                holder.setPortOpen(false);
                break;
            case BadInput::FileName:
                dialog.answers.push_back(c.text);
                form.cmdSaveCommands->click();
                break;
            }
            EXPECT_FALSE(comm.PortOpen());
            EXPECT_FALSE(form.chkEnableSerialPort->isChecked());
            EXPECT_EQ(form.chkEnableSerialPort->text(), "Open Serial Port");
            if (c.inMessage == nullptr) {
                EXPECT_TRUE(closer.seen.empty());
            } else {
                ASSERT_EQ(closer.seen.size(), 1u);
                const SeenMessage& box = closer.seen[0];
                const QString whole = box.whole();
                EXPECT_NE(whole.indexOf(QString::fromLatin1(c.inMessage)), -1)
                    << whole.toStdString();
                if (c.kind == BadInput::Settings) {
                    EXPECT_NE(whole.indexOf(QString::fromStdString(c.text)), -1)
                        << "the whole text kept";
                }
                EXPECT_LE(box.frame.width(), form.screen()->availableGeometry().width())
                    << "the box fits the screen";
            }
            EXPECT_TRUE(Capture(form) == before) << "the capture changed";
        }

        // And the capture goes on: the pending parameter, then a command.
        form.comboSerialPort->setEditText("1");
        form.ComboSerialBaudRate->setEditText("115200, N, 8, 1");
        form.chkEnableSerialPort->click();
        ASSERT_TRUE(comm.PortOpen());
        host.write(Bytes("08 0A"));
        ASSERT_TRUE(WaitUntil([&] { return form.lblByteCount->text() == "Bytes Received = 16"; }));
        EXPECT_EQ(form.lblCmdCount->text(), "Command Count = 5");
        std::filesystem::remove_all(folder);
    }

} // namespace
} // namespace ostrel::test
