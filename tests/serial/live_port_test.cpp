// The window on a real pseudo-terminal, linked as a port number: capture,
// status replies, failures and a host that goes away.

#include "serial/qt_serial_control.h"
#include "tests/capture/capture_fixture.h"
#include "tests/serial/pseudo_terminal.h"
#include "tests/ui/window_test_support.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <atomic>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace ostrel::test {
namespace {

    using namespace std::chrono_literals;
    using Strings = std::vector<std::string>;

    class LivePort : public ::testing::Test {
    protected:
        LivePort()
            : form(session, comm, dialog)
        {
            links.link(1, host.portPath());
        }

        void open(bool handshake = false)
        {
            form.chkHWhandshake->setChecked(handshake);
            form.chkEnableSerialPort->click();
            ASSERT_TRUE(comm.PortOpen());
        }
        int bytesShown() const
        {
            return form.lblByteCount->text()
                .mid(QStringLiteral("Bytes Received = ").size())
                .toInt();
        }
        int bytesCaptured() const { return form.engine().state().captureIndex - 1; }
        bool received(int count)
        {
            return WaitUntil([&] { return bytesShown() >= count; });
        }

        PortLinks links;
        PseudoTerminal host;
        CaptureSession session;
        QtSerialControl comm;
        FakeDialog dialog;
        Form1 form;
    };

    TEST_F(LivePort, WorkedExampleCapturedLive)
    {
        open();
        EXPECT_EQ(form.chkEnableSerialPort->text(), "Close Serial Port");
        host.write(Bytes("1B 40 41"));
        host.write(Bytes("42 0A"));
        ASSERT_TRUE(received(5));
        EXPECT_EQ(ListTexts(form.listCommands),
            (Strings {
                Described("1B 40", "ESC: Initialize."), " 41 42", Described("0A", "LF."), " " }));
        EXPECT_EQ(ListTexts(form.listDataReceivedHEX), Strings { "1B 40 41 42 0A" });
        EXPECT_EQ(form.lblCmdCount->text(), "Command Count = 2");
    }

    TEST_F(LivePort, BytesWrittenFromTheWindowGoOutThroughThePortsThread)
    {
        // Replies and other writes share one writer, so they never interleave.
        open();
        for (int i = 0; i < 50; ++i) {
            comm.Output("abcdefgh");
            host.write(Bytes("10 52"));
        }
        std::string sent;
        while (sent.size() < 50 * 12) {
            const std::string part = host.read(4);
            ASSERT_FALSE(part.empty());
            sent += part;
        }
        for (std::size_t at = 0; at < sent.size(); at += 4) {
            const std::string piece = sent.substr(at, 4);
            EXPECT_TRUE(piece == "abcd" || piece == "efgh" || piece == Bytes("10 52 00 08"))
                << "at " << at << ": a write was cut into by another";
        }
    }

    TEST_F(LivePort, StatusRequestsAnsweredWithTheBoxesAsTheyStand)
    {
        open();
        host.write(Bytes("10 52"));
        EXPECT_EQ(host.read(4), Bytes("10 52 00 08")) << "start-up boxes: Cutter Home";
        form.chkStatusBits[0]->setChecked(true);
        form.chkStatusBits2[3]->setChecked(false);
        form.chkStatusBits2[6]->setChecked(true);
        host.write(Bytes("10 52"));
        EXPECT_EQ(host.read(4), Bytes("10 52 01 40"));
        for (QCheckBox* box : form.chkStatusBits)
            box->setChecked(true);
        for (QCheckBox* box : form.chkStatusBits2)
            box->setChecked(true);
        host.write(Bytes("10 52 41 10 52"));
        EXPECT_EQ(host.read(8), Bytes("10 52 FF FF 10 52 FF FF")) << "two requests, two replies";
        form.chkEnableStatusBack->setChecked(false);
        host.write(Bytes("10 52"));
        ASSERT_TRUE(received(11));
        EXPECT_EQ(host.readFor(200ms), "");
        EXPECT_EQ(form.listCommands->displayText(5).toStdString(),
            Described("10 52", "DLE: Status Request."));
    }

    TEST_F(LivePort, RealTimeStatusOnlyOnceAskedFor)
    {
        open();
        host.write(Bytes("41 10 04 01"));
        EXPECT_EQ(host.readFor(200ms), "") << "at start-up the port answers DLE R alone";
        form.setSerialRealTimeReplies(true);
        host.write(Bytes("10 04 01 10 52"));
        EXPECT_EQ(host.read(5), Bytes("12 10 52 00 08"));
    }

    TEST_F(LivePort, NoReplyInsideImageDataOrForEscR)
    {
        open();
        host.write(Bytes("1F 2A 00 02 10 52 1B 52 00"));
        ASSERT_TRUE(received(9));
        EXPECT_EQ(host.readFor(200ms), "");
    }

    TEST_F(LivePort, ReplyLeavesBeforeTheEventLoopRuns)
    {
        open();
        form.UpdateData(Bytes("10 52") + std::string(4000, 'x'));
        EXPECT_EQ(host.readWithoutEventLoop(4), Bytes("10 52 00 08"));
        EXPECT_EQ(bytesShown(), 4002) << "the reply never enters the capture";
    }

    // Writes to the port without running the window's event loop.
    void WriteAsHost(PseudoTerminal& host, const std::string& bytes)
    {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n
                = ::write(host.masterDescriptor(), bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += static_cast<std::size_t>(n);
        }
    }

    TEST_F(LivePort, RequestsAnsweredWhileTheWindowsThreadIsBusy)
    {
        open();
        form.chkStatusBits[0]->setChecked(true);
        // From here to the replies nothing runs the window's event loop: the
        // port's own thread reads and answers, by the same framing rules.
        WriteAsHost(host, std::string(8000, 'x') + Bytes("10 52"));
        EXPECT_EQ(host.readWithoutEventLoop(8), Bytes("10 52 01 08"));
        WriteAsHost(host, Bytes("1F 2A 00 02 10 52 1B 52 00 10 52"));
        EXPECT_EQ(host.readWithoutEventLoop(8), Bytes("10 52 01 08")) << "none inside image data";
        form.chkEnableStatusBack->setChecked(false);
        WriteAsHost(host, Bytes("10 52"));
        EXPECT_EQ(host.readWithoutEventLoop(4), "");

        ASSERT_TRUE(received(8000 + 2 + 11 + 2));
        EXPECT_EQ(session.repliesSent(), 2);
        const auto& log = form.listCommands->lines();
        EXPECT_EQ(log.line(log.lineCount() - 2), Described("10 52", "DLE: Status Request."));
    }

    TEST_F(LivePort, AStalledWindowStillPacesTheHost)
    {
        // The port's thread reads ahead of the window only so far; past that the
        // driver's input backs up and the host is held back.
        open(/*handshake=*/false);
        struct : CaptureListener {
            void chunkTaken(std::string_view chunk, ByteSource*) override { bytes += chunk.size(); }
            std::size_t bytes = 0;
        } taken;
        session.addListener(taken);
        const std::string job = std::string(6 << 20, 'x');
        std::atomic<std::size_t> written { 0 };
        std::atomic<bool> stop { false };
        std::thread sender([&] {
            for (std::size_t done = 0; done < job.size() && !stop;) {
                const ssize_t n = ::write(host.masterDescriptor(), job.data() + done,
                    std::min<std::size_t>(job.size() - done, 64 * 1024));
                if (n > 0)
                    done += static_cast<std::size_t>(n);
                else if (errno != EAGAIN && errno != EINTR)
                    return;
                else
                    std::this_thread::sleep_for(1ms);
                written = done;
            }
        });
        std::this_thread::sleep_for(1500ms); // the window's thread stalls meanwhile
        EXPECT_LT(written.load(), job.size()) << "the host was not held back";
        EXPECT_EQ(taken.bytes, 0u);
        EXPECT_TRUE(WaitUntil([&] { return taken.bytes == job.size(); }, 20s))
            << taken.bytes << " taken, " << written << " written";
        stop = true;
        sender.join();
        session.removeListener(taken);
    }

    TEST_F(LivePort, RepliesTheHostDoesNotReadYetWaitAndAreNotLost)
    {
        // A host that sends request after request and reads the replies only
        // later fills the driver's output; the replies wait for room.
        open();
        constexpr int kRequests = 200000;
        std::string requests;
        for (int i = 0; i < kRequests; ++i)
            requests += Bytes("10 52");
        std::thread sender([&] { WriteAsHost(host, requests); });
        std::this_thread::sleep_for(2500ms);
        std::size_t replies = 0;
        for (std::string got; (got = host.readWithoutEventLoop(64 * 1024)).size() > 0;)
            replies += got.size();
        sender.join();
        EXPECT_EQ(replies, 4u * kRequests);
        EXPECT_TRUE(WaitUntil([&] { return session.repliesSent() == kRequests; }));
    }

    TEST_F(LivePort, BytesReadBeforeClosingAreCaptured)
    {
        open();
        WriteAsHost(host, "read, not yet shown");
        std::this_thread::sleep_for(100ms);
        form.chkEnableSerialPort->click();
        ASSERT_FALSE(comm.PortOpen());
        EXPECT_EQ(bytesCaptured(), 19);
        EXPECT_EQ(ListTexts(form.listDataReceived), (Strings { "read, no", "t yet sh", "own" }));
    }

    TEST_F(LivePort, EveryByteValueArrivesIntactWithHardwareHandshake)
    {
        open(/*handshake=*/true);
        std::string all;
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
        host.write(all);
        ASSERT_TRUE(received(256));
        const auto& buffer = form.engine().state().captureBuffer;
        EXPECT_EQ(std::string(buffer.begin() + 1, buffer.begin() + 257), all);
        EXPECT_EQ(form.listDataReceived->lines().lineCount(), 32);
    }

    TEST_F(LivePort, OpenFailuresLeaveTheBoxUntickedAndTheCaptureAsItWas)
    {
        open();
        host.write("kept");
        ASSERT_TRUE(received(4));
        form.chkEnableSerialPort->click();
        ASSERT_FALSE(comm.PortOpen());

        links.link(7, "/nonexistent/ttyX");
        QtSerialControl holder;
        holder.setCommPort(1);
        holder.setHandshaking(comXOnXoff);
        holder.setPortOpen(true);

        struct Case {
            const char* port;
            const char* settings;
            const char* start;
            const char* description;
        };
        const Case cases[] = {
            { "COM3", "9600, N, 8, 1", "Error Opening Comm Port 0:9600, N, 8, 1\r\n",
                "port number 0" },
            { "7", "9600, N, 8, 1", "Error Opening Comm Port 7:9600, N, 8, 1\r\n",
                "No such file or directory: /nonexistent/ttyX" },
            { "1", "9600, N, 8, 1", "Error Opening Comm Port 1:9600, N, 8, 1\r\n",
                host.portPath().c_str() },
            { "1", "fast, N, 8, 1", "Error Opening Comm Port 1:fast, N, 8, 1\r\n",
                "baud rate \"fast\"" },
            { "1", "9600, X, 8, 1", "Error Opening Comm Port 1:9600, X, 8, 1\r\n", "parity \"X\"" },
            { "1", "9600, N, 9, 1", "Error Opening Comm Port 1:9600, N, 9, 1\r\n",
                "data bits \"9\"" },
            { "1", "9600, N, 8, 3", "Error Opening Comm Port 1:9600, N, 8, 3\r\n",
                "stop bits \"3\"" },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.port + std::string(" ") + c.settings);
            form.comboSerialPort->setEditText(QString::fromLatin1(c.port));
            form.ComboSerialBaudRate->setEditText(QString::fromLatin1(c.settings));
            MessageCloser closer;
            form.chkEnableSerialPort->click();
            EXPECT_FALSE(form.chkEnableSerialPort->isChecked());
            EXPECT_EQ(form.chkEnableSerialPort->text(), "Open Serial Port");
            EXPECT_FALSE(comm.PortOpen());
            ASSERT_EQ(closer.seen.size(), 1u);
            const std::string text = closer.seen[0].text.toStdString();
            EXPECT_EQ(text.rfind(c.start, 0), 0u) << text;
            EXPECT_NE(text.find(std::string("Description:  ")), std::string::npos) << text;
            EXPECT_NE(text.find(c.description), std::string::npos) << text;
            EXPECT_EQ(ListTexts(form.listDataReceived), Strings { "kept" });
        }
    }

    TEST_F(LivePort, RefusedParityOnAPortWithoutIt)
    {
        form.ComboSerialBaudRate->setEditText("9600, E, 8, 1");
        MessageCloser closer;
        form.chkEnableSerialPort->click();
        EXPECT_FALSE(comm.PortOpen());
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_NE(closer.seen[0].text.indexOf(
                      "Parity refused by " + QString::fromStdString(host.portPath())),
            -1)
            << closer.seen[0].text.toStdString();
    }

    TEST_F(LivePort, HostGoingAwayClosesThePortOnceAndItOpensAgain)
    {
        int events = 0;
        open();
        const auto handler = comm.OnComm;
        comm.OnComm = [&] {
            ++events;
            handler();
        };
        host.write("last words");
        ASSERT_TRUE(received(10));
        host.closeHostSide();
        ASSERT_TRUE(WaitUntil([&] { return !form.chkEnableSerialPort->isChecked(); }));
        EXPECT_FALSE(comm.PortOpen());
        EXPECT_EQ(form.chkEnableSerialPort->text(), "Open Serial Port");
        WaitUntil([] { return false; }, 200ms);
        EXPECT_LT(events, 10) << "no storm of failed reads";
        EXPECT_EQ(ListTexts(form.listDataReceived), (Strings { "last wor", "ds" }));

        PseudoTerminal again;
        links.link(1, again.portPath());
        form.chkEnableSerialPort->click();
        EXPECT_TRUE(comm.PortOpen());
        again.write("!");
        EXPECT_TRUE(received(11));
    }

    TEST_F(LivePort, XonAndXoffBytesArriveAsDataWithoutHardwareHandshake)
    {
        open(/*handshake=*/false);
        termios settings {};
        ASSERT_EQ(::tcgetattr(host.slaveDescriptor(), &settings), 0);
        EXPECT_TRUE(settings.c_iflag & IXOFF) << "the tool still paces the host";
        EXPECT_FALSE(settings.c_iflag & IXON) << "received XON/XOFF must stay in the data";
        // Double size (GS "!" 0x11), an image full of 0x11 and 0x13, then text.
        const std::string job = Bytes("1D 21 11 41 1F 2A 00 04 11 13 13 11 13 42 0A");
        host.write(job);
        ASSERT_TRUE(received(static_cast<int>(job.size())));
        const auto& buffer = form.engine().state().captureBuffer;
        EXPECT_EQ(std::string(buffer.begin() + 1, buffer.begin() + 1 + job.size()), job);
        EXPECT_EQ(form.lblCmdCount->text(), "Command Count = 3") << "GS !, US *, LF: framing kept";
    }

    // Holds up every paint of a widget, and notes the paints among the replies.
    struct SlowPaint : QObject, CaptureListener {
        std::vector<std::string> order;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                order.push_back("paint");
                std::this_thread::sleep_for(30ms);
            }
            return false;
        }
        void chunkTaken(std::string_view, ByteSource*) override { }
        void replySent(std::string_view, ByteSource*) override { order.push_back("reply"); }
    };

    TEST_F(LivePort, RequestWaitingWhenTheRepaintIsDueIsAnsweredFirst)
    {
        open();
        form.show();
        WaitUntil([] { return false; }, 100ms);
        SlowPaint watch;
        form.listCommands->viewport()->installEventFilter(&watch);
        session.addListener(watch);
        for (int round = 0; round < 5; ++round) {
            watch.order.clear();
            // A line to draw, then, with no event loop running, a status request
            // and enough time for the repaint to fall due as well.
            host.write("A\r");
            ASSERT_TRUE(WaitUntil([&] { return watch.order.empty() && bytesCaptured() > 0; }));
            ASSERT_EQ(::write(host.masterDescriptor(), "\x10R", 2), 2);
            std::this_thread::sleep_for(60ms);
            EXPECT_EQ(host.read(4), Bytes("10 52 00 08"));
            WaitUntil([&] { return watch.order.size() >= 2; }, 500ms);
            ASSERT_FALSE(watch.order.empty());
            EXPECT_EQ(watch.order.front(), "reply") << "round " << round;
        }
        session.removeListener(watch);
    }

} // namespace
} // namespace ostrel::test
