// Opening and closing from the window, with a stand-in serial control: the
// order of the writes and the failure path.

#include "tests/capture/capture_fixture.h"
#include "tests/ui/window_test_support.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using Strings = std::vector<std::string>;

    struct OpenCase {
        const char* port;
        const char* settings;
        bool handshake;
        Strings calls;
    };

    TEST(PortHandling, OpensWithWhatTheControlsShowAtThatMoment)
    {
        const OpenCase cases[] = {
            { "3", "9600, N, 8, 1", false,
                { "CommPort=3", "Settings=9600, N, 8, 1", "RTSEnable=0", "DTREnable=0",
                    "Handshaking=1", "PortOpen=1" } },
            { "1", "115200, N, 8, 1", true,
                { "CommPort=1", "Settings=115200, N, 8, 1", "RTSEnable=1", "DTREnable=1",
                    "Handshaking=2", "PortOpen=1" } },
            { "2.5", "19200,N,8,1", false,
                { "CommPort=2", "Settings=19200,N,8,1", "RTSEnable=0", "DTREnable=0",
                    "Handshaking=1", "PortOpen=1" } },
            { "3.5", "57600,E,7,1", false,
                { "CommPort=4", "Settings=57600,E,7,1", "RTSEnable=0", "DTREnable=0",
                    "Handshaking=1", "PortOpen=1" } },
            { "12", "38400, N, 8, 1", false,
                { "CommPort=12", "Settings=38400, N, 8, 1", "RTSEnable=0", "DTREnable=0",
                    "Handshaking=1", "PortOpen=1" } },
        };
        for (const OpenCase& c : cases) {
            SCOPED_TRACE(c.port);
            Window w;
            Form1& f = *w.form;
            f.comboSerialPort->setEditText(QString::fromLatin1(c.port));
            f.ComboSerialBaudRate->setEditText(QString::fromLatin1(c.settings));
            f.chkHWhandshake->setChecked(c.handshake);
            w.comm.calls.clear();
            f.chkEnableSerialPort->click();
            EXPECT_EQ(w.comm.calls, c.calls);
            EXPECT_TRUE(f.chkEnableSerialPort->isChecked());
            EXPECT_EQ(f.chkEnableSerialPort->text(), "Close Serial Port");

            // Changing the controls while open does nothing until the next opening.
            f.ComboSerialBaudRate->setEditText("600, N, 8, 1");
            f.chkHWhandshake->setChecked(!c.handshake);
            w.comm.calls.clear();
            f.chkEnableSerialPort->click();
            EXPECT_EQ(w.comm.calls, Strings { "PortOpen=0" });
            EXPECT_EQ(f.chkEnableSerialPort->text(), "Open Serial Port");
        }
    }

    TEST(PortHandling, UntouchedControlsOpenPort1AtTheShownSettings)
    {
        Window w;
        w.comm.calls.clear();
        w.form->chkEnableSerialPort->click();
        EXPECT_EQ(w.comm.calls[0], "CommPort=1");
        EXPECT_EQ(w.comm.calls[1], "Settings=115200, N, 8, 1") << "not the start-up 19200,N,8,1";
    }

    struct FailureCase {
        const char* port;
        const char* settings;
        const char* failingCall;
        const char* description;
        const char* message;
    };

    TEST(PortHandling, FailureUnticksClosesAndShowsTheMessage)
    {
        const FailureCase cases[] = {
            { "COM3", "9600, N, 8, 1", "CommPort=0", "Invalid port number 0",
                "Error Opening Comm Port 0:9600, N, 8, 1\r\nDescription:  Invalid port number 0" },
            { "2.5", "115200, N, 8, 1", "PortOpen=1", "Port is in use",
                "Error Opening Comm Port 2.5:115200, N, 8, 1\r\nDescription:  Port is in use" },
            { "1", "bad", "Settings=bad", "Invalid settings",
                "Error Opening Comm Port 1:bad\r\nDescription:  Invalid settings" },
            { "4", "9600,N,8,1", "Handshaking=1", "Flow control refused",
                "Error Opening Comm Port 4:9600,N,8,1\r\nDescription:  Flow control refused" },
        };
        for (const FailureCase& c : cases) {
            SCOPED_TRACE(c.failingCall);
            Window w;
            Form1& f = *w.form;
            w.comm.receive("kept");
            f.comboSerialPort->setEditText(QString::fromLatin1(c.port));
            f.ComboSerialBaudRate->setEditText(QString::fromLatin1(c.settings));
            w.comm.failOn = c.failingCall;
            w.comm.failure = c.description;
            w.comm.calls.clear();
            MessageCloser closer;
            f.chkEnableSerialPort->click();
            EXPECT_FALSE(f.chkEnableSerialPort->isChecked());
            EXPECT_EQ(f.chkEnableSerialPort->text(), "Open Serial Port");
            // Unticking ran the handler again, on its close path, before the message.
            EXPECT_EQ(w.comm.calls.back(), "PortOpen=0");
            ASSERT_EQ(closer.seen.size(), 1u);
            EXPECT_EQ(closer.seen[0].text.toStdString(), c.message);
            EXPECT_EQ(closer.seen[0].title, "OstrelSerialCapture");
            EXPECT_EQ(closer.seen[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
            EXPECT_EQ(ListTexts(f.listDataReceived), Strings { "kept" }) << "capture untouched";
        }
    }

    TEST(PortHandling, FailingCloseShowsTheSameMessage)
    {
        Window w;
        Form1& f = *w.form;
        f.chkEnableSerialPort->click();
        w.comm.failOn = "PortOpen=0";
        w.comm.failure = "Device busy";
        MessageCloser closer;
        f.chkEnableSerialPort->click();
        EXPECT_FALSE(f.chkEnableSerialPort->isChecked());
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_EQ(closer.seen[0].text.toStdString(),
            "Error Opening Comm Port 1:115200, N, 8, 1\r\nDescription:  Device busy");
    }

    TEST(PortHandling, OnlyReceiveEventsReachTheCapture)
    {
        Window w;
        w.comm.pending = "A";
        w.comm.event = 3; // a line-state change
        w.comm.OnComm();
        w.form->showCapture();
        EXPECT_EQ(w.form->lblByteCount->text(), "Bytes Received = 0");
        w.comm.event = comEvReceive;
        w.comm.OnComm();
        w.form->showCapture();
        EXPECT_EQ(w.form->lblByteCount->text(), "Bytes Received = 1");
    }

    TEST(PortHandling, LostPortUnticksTheBoxThroughTheClosePath)
    {
        Window w;
        Form1& f = *w.form;
        f.chkEnableSerialPort->click();
        w.comm.receive("kept");
        w.comm.calls.clear();
        w.comm.event = comEventPortLost;
        w.comm.OnComm();
        EXPECT_FALSE(f.chkEnableSerialPort->isChecked());
        EXPECT_EQ(f.chkEnableSerialPort->text(), "Open Serial Port");
        EXPECT_EQ(w.comm.calls, Strings { "PortOpen=0" });
        EXPECT_EQ(ListTexts(f.listDataReceived), Strings { "kept" });
    }

} // namespace
} // namespace ostrel::test
