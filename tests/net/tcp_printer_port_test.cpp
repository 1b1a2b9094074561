// The TCP printer port over the real loopback, feeding a capture session:
// jobs in a row, a client that goes away mid-job, one that says nothing, a
// second client waiting its turn, replies on the right connection, and IPv6.

#include "net/forwarding_sink.h"
#include "net/tcp_port_thread.h"
#include "net/tcp_printer_port.h"
#include "session/capture_session.h"
#include "tests/capture/capture_fixture.h"
#include "tests/net/loopback_client.h"
#include "tests/serial/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace ostrel::test {
namespace {

    // A port on a free loopback port, its jobs recorded as they end.
    struct Printer : ByteSink {
        explicit Printer(const char* address = "127.0.0.1:0",
            std::chrono::milliseconds idle = std::chrono::seconds(30),
            std::chrono::milliseconds whole = std::chrono::minutes(10))
            : port(TcpJobLimits { idle, whole })
        {
            ListenAddress where;
            std::string error;
            EXPECT_TRUE(ParseListenAddress(address, where, error)) << error;
            EXPECT_TRUE(port.listen(where, error)) << error;
            port.feed(this);
        }
        void sourceStarted(ByteSource& from) override
        {
            jobs.push_back({ "", "", from.sourceName() });
        }
        void bytesArrived(std::string_view chunk, ByteSource& from) override
        {
            jobs.back().bytes += chunk;
            session.UpdateData(chunk, &from);
        }
        void sourceStopped(ByteSource&, const std::string& why) override
        {
            jobs.back().endedBy = why;
        }
        bool ended(std::size_t count)
        {
            return WaitUntil(
                [&] { return jobs.size() >= count && !jobs[count - 1].endedBy.empty(); });
        }
        struct Job {
            std::string bytes;
            std::string endedBy;
            std::string source;
        };
        CaptureSession session;
        TcpPrinterPort port;
        std::vector<Job> jobs;
    };

    TEST(TcpPrinterPort, JobsInARowEachAnsweredOnItsOwnConnection)
    {
        Printer printer;
        for (int job = 0; job < 3; ++job) {
            LoopbackClient client("127.0.0.1", printer.port.port());
            ASSERT_TRUE(client.connected());
            client.send("job " + std::to_string(job) + "\n" + Bytes("10 52"));
            EXPECT_EQ(client.receive(4), Bytes("10 52 00 08"));
            client.close();
            ASSERT_TRUE(printer.ended(static_cast<std::size_t>(job) + 1));
            EXPECT_EQ(printer.jobs[static_cast<std::size_t>(job)].endedBy, "closed by the peer");
        }
        EXPECT_EQ(printer.jobs[1].bytes, "job 1\n" + Bytes("10 52"));
        EXPECT_EQ(printer.session.state().commandCount, 6) << "LF and DLE R, three times";
    }

    // The window's tap: the job is captured here and goes on to the real printer,
    // whose answer, not the stand-in's, reaches the client.
    TEST(TcpPrinterPort, AForwardedJobIsCapturedAndTheRealPrinterAnswers)
    {
        Printer real;
        Printer tap;
        ForwardingSink forwarding(tap, "127.0.0.1", real.port.port(), false);
        std::vector<std::string> answered;
        long long requestEnd = 0;
        forwarding.answeredRequest
            = [&](const ByteSource&, long long end, const std::string& said) {
                  answered.push_back(said);
                  requestEnd = end;
              };
        tap.port.feed(&forwarding);
        tap.session.setPrinterState([] {
            PrinterState state;
            state.paperOut = true; // the stand-in would say paper out
            return state;
        }());
        LoopbackClient client("127.0.0.1", tap.port.port());
        client.send("forwarded\n" + Bytes("10 04 04"));
        EXPECT_EQ(client.receive(1), Bytes("12")) << "the real printer's answer: paper present";
        EXPECT_EQ(client.receive(1, 300ms), "") << "and no answer of the stand-in's";
        client.close();
        ASSERT_TRUE(tap.ended(1));
        ASSERT_TRUE(real.ended(1));
        EXPECT_EQ(tap.jobs[0].bytes, "forwarded\n" + Bytes("10 04 04"));
        EXPECT_EQ(real.jobs[0].bytes, tap.jobs[0].bytes);
        ASSERT_EQ(answered.size(), 1u);
        EXPECT_EQ(answered[0].rfind("DLE EOT 4: 12 after ", 0), 0u) << answered[0];
        EXPECT_NE(answered[0].find(" ms, nothing wrong"), std::string::npos) << answered[0];
        EXPECT_EQ(requestEnd, 13) << "just past DLE EOT 4";
        EXPECT_NE(
            forwarding.conversationJson().find("\"request\":\"DLE EOT 4\""), std::string::npos);
        EXPECT_EQ(forwarding.printerBytes(), Bytes("12"));
    }

    // The window's serial port, tapped: what the session takes from it goes on
    // to the printer, a silence ends the job, and the printer's answer comes
    // back to the port, never the stand-in's.
    TEST(TcpPrinterPort, ATappedSourceGoesOnToThePrinterAJobASilence)
    {
        struct Line : ByteSource {
            std::string sourceName() const override { return "serial test"; }
            void sendReply(std::string_view bytes) override { replies += bytes; }
            std::string replies;
        } line;
        Printer real;
        CaptureSession session;
        ForwardingSink forwarding(session, "127.0.0.1", real.port.port(), false);
        forwarding.tap(line);
        session.addListener(forwarding);
        EXPECT_FALSE(line.standInAnswers());
        for (int job = 0; job < 2; ++job) {
            session.UpdateData("line " + std::to_string(job) + "\n", &line);
            session.UpdateData(Bytes("10 04 04"), &line);
            ASSERT_TRUE(WaitUntil(
                [&] { return line.replies.size() == static_cast<std::size_t>(job) + 1; }));
            ASSERT_TRUE(real.ended(static_cast<std::size_t>(job) + 1)) << "ended by the silence";
            EXPECT_EQ(real.jobs[static_cast<std::size_t>(job)].bytes,
                "line " + std::to_string(job) + "\n" + Bytes("10 04 04"));
        }
        EXPECT_EQ(line.replies, Bytes("12 12")) << "the printer's answers, none of the stand-in's";
        session.removeListener(forwarding);
    }

    TEST(TcpPrinterPort, ClientGoingAwayMidJobKeepsWhatArrived)
    {
        Printer printer;
        {
            LoopbackClient client("127.0.0.1", printer.port.port());
            client.send(Bytes("1B 21")); // a command cut off before its parameter
            client.send("half a rece");
            WaitUntil([&] { return !printer.jobs.empty() && printer.jobs[0].bytes.size() == 13; });
        }
        ASSERT_TRUE(printer.ended(1));
        EXPECT_EQ(printer.jobs[0].bytes, Bytes("1B 21") + "half a rece");
        EXPECT_EQ(printer.session.lblByteCount().text(), "Bytes Received = 13");
    }

    // A printer whose buffer counts every byte: the system keeps a little of the
    // connection, and each read takes no more than the room left.
    TEST(TcpPrinterPort, ReadsNoMoreThanTheRoomLeftAndTheSystemHoldsLittle)
    {
        struct Counted : Printer {
            void bytesArrived(std::string_view chunk, ByteSource& from) override
            {
                const std::size_t before = jobs.back().bytes.size();
                crossed = crossed || before / 100 != (before + chunk.size() - 1) / 100;
                Printer::bytesArrived(chunk, from);
            }
            bool crossed = false;
        } printer;
        const long long kernel = printer.port.setLeastReceiveWindow();
        EXPECT_GT(kernel, 0);
        EXPECT_LE(kernel, 4096) << "the system's least window";
        // Room up to the next hundred bytes, each time.
        printer.port.setReadRoom(
            [&] { return std::size_t { 100 } - printer.jobs.back().bytes.size() % 100; });
        const std::string job(10'000, 'x');
        {
            LoopbackClient client("127.0.0.1", printer.port.port());
            client.send(job);
        }
        ASSERT_TRUE(printer.ended(1));
        EXPECT_EQ(printer.jobs[0].bytes, job);
        EXPECT_FALSE(printer.crossed) << "a read took more than the room left";
    }

    TEST(TcpPrinterPort, SilentClientIsClosedAfterTheIdleTimeout)
    {
        Printer printer("127.0.0.1:0", 300ms);
        LoopbackClient silent("127.0.0.1", printer.port.port());
        ASSERT_TRUE(silent.closedByPeer(3s));
        ASSERT_TRUE(printer.ended(1));
        EXPECT_EQ(printer.jobs[0].endedBy, "idle timeout");
        // The printer is free for the next job.
        LoopbackClient next("127.0.0.1", printer.port.port());
        next.send(Bytes("10 52"));
        EXPECT_EQ(next.receive(4), Bytes("10 52 00 08"));
    }

    TEST(TcpPrinterPort, SecondClientWaitsWhileTheFirstPrints)
    {
        Printer printer;
        LoopbackClient first("127.0.0.1", printer.port.port());
        first.send("first ");
        ASSERT_TRUE(
            WaitUntil([&] { return printer.jobs.size() == 1 && !printer.jobs[0].bytes.empty(); }));
        LoopbackClient second("127.0.0.1", printer.port.port());
        ASSERT_TRUE(second.connected()) << "waits in the backlog";
        second.send("second" + Bytes("10 52"));
        EXPECT_EQ(second.receive(4, 300ms), "") << "not answered before its turn";
        EXPECT_EQ(printer.jobs.size(), 1u);
        first.send("more" + Bytes("10 52"));
        EXPECT_EQ(first.receive(4), Bytes("10 52 00 08")) << "the reply goes to the first client";
        first.close();
        EXPECT_EQ(second.receive(4), Bytes("10 52 00 08")) << "then the second one's turn";
        ASSERT_TRUE(printer.ended(1));
        EXPECT_EQ(printer.jobs[0].bytes, "first more" + Bytes("10 52"));
        second.close();
        ASSERT_TRUE(printer.ended(2));
        EXPECT_EQ(printer.jobs[1].bytes, "second" + Bytes("10 52"));
    }

    TEST(TcpPrinterPort, ClientsThatSendAndCloseWhileWaitingAreTakenAtOnce)
    {
        Printer printer;
        std::vector<std::unique_ptr<LoopbackClient>> clients;
        for (int i = 0; i < 6; ++i) {
            clients.push_back(std::make_unique<LoopbackClient>("127.0.0.1", printer.port.port()));
            clients.back()->send("job " + std::to_string(i) + "\n");
        }
        for (auto& client : clients)
            client->close();
        ASSERT_TRUE(WaitUntil([&] { return printer.ended(6); }, 3s)) << "not by the idle timeout";
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(printer.jobs[i].bytes, "job " + std::to_string(i) + "\n");
            EXPECT_EQ(printer.jobs[i].endedBy, "closed by the peer");
            EXPECT_TRUE(printer.jobs[i].source.starts_with("tcp 127.0.0.1:"))
                << printer.jobs[i].source;
            EXPECT_NE(printer.jobs[i].source, "tcp 127.0.0.1:0");
        }
    }

    TEST(TcpPrinterPort, JobInPartsWithPausesIsKeptWholeWhileTheWindowDraws)
    {
        // A window asks for pending bytes before each frame; finding none is no
        // reason to end the job.
        Printer printer;
        LoopbackClient client("127.0.0.1", printer.port.port());
        client.send("part one ");
        for (int pause = 0; pause < 2; ++pause) {
            WaitUntil(
                [&] {
                    printer.session.deliverPending();
                    return false;
                },
                300ms);
            client.send("part" + Bytes("10 52"));
            EXPECT_EQ(client.receive(4), Bytes("10 52 00 08"));
        }
        client.close();
        ASSERT_TRUE(printer.ended(1));
        EXPECT_EQ(
            printer.jobs[0].bytes, "part one part" + Bytes("10 52") + "part" + Bytes("10 52"));
        EXPECT_EQ(printer.jobs[0].endedBy, "closed by the peer");
    }

    TEST(TcpPrinterPort, AJobHoldsThePrinterNoLongerThanTheJobTimeout)
    {
        Printer printer("127.0.0.1:0", 10s, 400ms);
        LoopbackClient slow("127.0.0.1", printer.port.port());
        LoopbackClient next("127.0.0.1", printer.port.port());
        for (int i = 0; i < 20 && !slow.closedByPeer(50ms); ++i)
            slow.send("x"); // never silent long enough for the idle timeout
        ASSERT_TRUE(printer.ended(1));
        EXPECT_EQ(printer.jobs[0].endedBy, "job timeout");
        next.send(Bytes("10 52"));
        EXPECT_EQ(next.receive(4), Bytes("10 52 00 08")) << "the next job's turn";
    }

    TEST(TcpPrinterPort, APeerThatReadsNoRepliesIsCutOff)
    {
        Printer printer;
        LoopbackClient client("127.0.0.1", printer.port.port());
        std::string requests;
        for (int i = 0; i < 32 * 1024; ++i)
            requests += Bytes("10 52");
        std::size_t sent = 0;
        for (int round = 0;
             round < 400 && (printer.jobs.empty() || printer.jobs[0].endedBy.empty()); ++round) {
            client.send(requests);
            sent += requests.size();
            WaitUntil(
                [&] { return printer.jobs.size() == 1 && printer.jobs[0].bytes.size() >= sent; },
                1s);
        }
        ASSERT_TRUE(printer.ended(1)) << sent << " bytes of requests";
        EXPECT_EQ(printer.jobs[0].endedBy, "replies not read");
    }

    TEST(TcpPrinterPort, APeerThatShutsItsSideAfterALongJobStillGetsItsReply)
    {
        Printer printer;
        for (const std::size_t size : { std::size_t { 1 } << 10, std::size_t { 3 } << 20 }) {
            LoopbackClient client("127.0.0.1", printer.port.port());
            // Sent from a thread, as the job is far larger than the socket buffers.
            std::thread sender([&client, size] {
                client.send(std::string(size, 'A') + Bytes("10 04 01"));
                client.shutDownSending();
            });
            EXPECT_EQ(client.receive(1, 10s), Bytes("12")) << size;
            sender.join();
            EXPECT_TRUE(printer.ended(printer.jobs.size()));
            EXPECT_EQ(printer.jobs.back().endedBy, "closed by the peer");
            EXPECT_EQ(printer.jobs.back().bytes.size(), size + 3);
        }
    }

    TEST(TcpPrinterPort, SilentPeersWaitingTheirTurnDoNotHoldBackAJob)
    {
        Printer printer("127.0.0.1:0", 300ms);
        std::vector<std::unique_ptr<LoopbackClient>> silent;
        for (int i = 0; i < 20; ++i)
            silent.push_back(std::make_unique<LoopbackClient>("127.0.0.1", printer.port.port()));
        LoopbackClient job("127.0.0.1", printer.port.port());
        job.send(Bytes("10 52"));
        // Twenty idle peers in turn would hold it for 6 s; they time out together.
        EXPECT_EQ(job.receive(4, 2s), Bytes("10 52 00 08"));
    }

    TEST(TcpPrinterPort, Ipv6Loopback)
    {
        Printer printer("[::1]:0");
        EXPECT_EQ(printer.port.listeningOn().rfind("[::1]:", 0), 0u) << printer.port.listeningOn();
        LoopbackClient client("::1", printer.port.port());
        ASSERT_TRUE(client.connected());
        client.send(Bytes("10 52"));
        EXPECT_EQ(client.receive(4), Bytes("10 52 00 08"));
    }

    // The window's port on a thread of its own, feeding its session; what the
    // session took, and each job's end, as its thread was told.
    struct ThreadedPrinter : CaptureListener {
        ThreadedPrinter()
        {
            session.addListener(*this);
            ListenAddress where;
            std::string error;
            EXPECT_TRUE(ParseListenAddress("127.0.0.1:0", where, error)) << error;
            EXPECT_TRUE(port.listen(where, error)) << error;
        }
        ~ThreadedPrinter() override { session.removeListener(*this); }
        void chunkTaken(std::string_view chunk, ByteSource* from) override
        {
            taken += chunk;
            if (from != nullptr)
                sources.push_back(from->sourceName());
        }
        void sourceEnded(ByteSource& source) override
        {
            ended.push_back(source.sourceName() + " after " + taken);
        }
        CaptureSession session;
        std::unique_ptr<TcpPortThread> threaded = std::make_unique<TcpPortThread>(session);
        TcpPortThread& port = *threaded;
        std::string taken;
        std::vector<std::string> sources, ended;
    };

    TEST(TcpPortThread, AnswersWhileTheSessionsThreadIsBusyAndTheSessionTakesTheBytesAfter)
    {
        ThreadedPrinter printer;
        std::string reply;
        // This thread runs no event loop until the client has its answer.
        std::thread client([&] {
            LoopbackClient job("127.0.0.1", printer.port.port());
            job.send("ticket\n" + Bytes("10 04 01"));
            reply = job.receive(1);
            job.send(Bytes("10 52"));
            reply += job.receive(4);
        });
        client.join();
        EXPECT_EQ(reply, Bytes("12 10 52 00 08"));
        ASSERT_TRUE(WaitUntil([&] { return printer.ended.size() == 1; }));
        EXPECT_EQ(printer.taken, "ticket\n" + Bytes("10 04 01 10 52"));
        ASSERT_FALSE(printer.sources.empty());
        EXPECT_EQ(printer.sources.front().rfind("tcp 127.0.0.1:", 0), 0u)
            << printer.sources.front();
        EXPECT_EQ(printer.ended.front(), printer.sources.front() + " after " + printer.taken)
            << "ended after its bytes";
        EXPECT_EQ(printer.session.state().commandCount, 3);
    }

    TEST(TcpPortThread, AutomaticStatusTheSessionSendsLaterGoesOutOnTheConnection)
    {
        ThreadedPrinter printer;
        LoopbackClient job("127.0.0.1", printer.port.port());
        job.send(Bytes("1D 61 FF")); // GS a: every group, automatic status on
        EXPECT_EQ(job.receive(4), AutomaticStatus(PrinterState {}));
        ASSERT_TRUE(WaitUntil([&] { return printer.taken.size() == 3; }));
        PrinterState paperOut;
        paperOut.paperOut = true;
        printer.session.setPrinterState(paperOut);
        EXPECT_EQ(job.receive(4), AutomaticStatus(paperOut));
        job.close();
        ASSERT_TRUE(WaitUntil([&] { return printer.ended.size() == 1; }));
        // Gone: the session has nobody to tell any more, and nothing is sent.
        printer.session.setPrinterState(PrinterState {});
        EXPECT_EQ(printer.session.repliesSent(), 2);
    }

    TEST(TcpPortThread, AFloodWaitsInTheSystemWhileTheSessionsThreadTakesNothing)
    {
        ThreadedPrinter printer;
        const std::string flood(8 << 20, 'x');
        std::thread client([&] {
            LoopbackClient job("127.0.0.1", printer.port.port());
            job.send(flood);
        });
        // No event loop here: what the port reads meanwhile stays in the inbox.
        const ArrivalInbox& inbox = printer.session.inbox();
        for (int i = 0; i < 3000 && inbox.waitingBytes() < (256u << 10); ++i)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(100ms);
        EXPECT_LE(inbox.waitingBytes(), 512u << 10);
        // Taken by this thread itself, as a frame of the preview takes it, the
        // port reads on, still with no event loop here.
        for (int i = 0; i < 20000 && printer.taken.size() < flood.size(); ++i) {
            printer.session.takeArrived();
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(printer.taken.size(), flood.size());
        client.join();
    }

    // Bytes another source handed over without the session being called yet
    // (the serial port closed before it collected them) hold up nothing here.
    TEST(TcpPortThread, TheSessionIsCalledWhateverAnotherSourceLeftInTheInbox)
    {
        ThreadedPrinter printer;
        ASSERT_TRUE(printer.session.inbox().receive(nullptr, "left ").callSession);
        LoopbackClient job("127.0.0.1", printer.port.port());
        job.send("job");
        EXPECT_TRUE(WaitUntil([&] { return printer.taken == "left job"; })) << printer.taken;
    }

    TEST(TcpPortThread, EndsWithAJobOpenAndTheSessionLetsGoOfIt)
    {
        ThreadedPrinter printer;
        LoopbackClient job("127.0.0.1", printer.port.port());
        job.send("half a job");
        EXPECT_TRUE(WaitUntil([&] { return printer.taken == "half a job"; }));
        job.send(" and more");
        printer.threaded.reset();
        EXPECT_TRUE(job.closedByPeer());
        EXPECT_TRUE(printer.ended.empty()) << "ended without sourceStopped, as the port's own";
        printer.session.deliverPending(); // no source is left to ask
        printer.session.setPrinterState(PrinterState {});
        EXPECT_EQ(printer.session.repliesSent(), 0);
    }

    TEST(ListenAddress, ReadAndRefused)
    {
        struct Row {
            const char* text;
            bool valid;
            const char* address;
            int port;
        };
        const Row rows[] = {
            { "9100", true, "127.0.0.1", 9100 },
            { "0.0.0.0:9100", true, "0.0.0.0", 9100 },
            { "[::1]:9100", true, "::1", 9100 },
            { "localhost:9101", true, "127.0.0.1", 9101 },
            { "[::]:0", true, "::", 0 },
            { "", false, "", 0 },
            { "99999", false, "", 0 },
            { "printer:9100", false, "", 0 },
            { "::1:9100", false, "", 0 },
            { "[::1]9100", false, "", 0 },
            { "127.0.0.1:", false, "", 0 },
            { "9100x", false, "", 0 },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.text);
            ListenAddress where;
            std::string error;
            EXPECT_EQ(ParseListenAddress(row.text, where, error), row.valid) << error;
            if (row.valid) {
                EXPECT_EQ(where.address.toString().toStdString(), row.address);
                EXPECT_EQ(where.port, row.port);
            } else {
                EXPECT_NE(error.find(row.text), std::string::npos) << error;
            }
        }
    }

    // --forward's HOST[:PORT], read by the same splitter, IPv6 in brackets.
    TEST(ForwardTarget, ReadAndRefused)
    {
        struct Row {
            const char* text;
            const char* host; // null: refused
            int port;
        };
        const Row rows[] = {
            { "printer", "printer", 9100 },
            { "printer:9101", "printer", 9101 },
            { "[::1]:9101", "::1", 9101 },
            { "[::1]", "::1", 9100 },
            { "::1", "::1", 9100 },
            { "printer:0", nullptr, 0 },
            { "[::1", nullptr, 0 },
            { ":9100", nullptr, 0 },
            { "[::1]x", nullptr, 0 },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.text);
            std::string host, error;
            quint16 port = 0;
            EXPECT_EQ(ParseForwardTarget(row.text, host, port, error), row.host != nullptr)
                << error;
            if (row.host != nullptr) {
                EXPECT_EQ(host, row.host);
                EXPECT_EQ(port, row.port);
            }
        }
    }

    TEST(TcpPrinterPort, AddressInUseIsReportedWithIt)
    {
        Printer first;
        TcpPrinterPort second;
        ListenAddress where;
        std::string error;
        ASSERT_TRUE(
            ParseListenAddress("127.0.0.1:" + std::to_string(first.port.port()), where, error));
        EXPECT_FALSE(second.listen(where, error));
        EXPECT_NE(error.find("127.0.0.1:" + std::to_string(first.port.port())), std::string::npos)
            << error;
    }

} // namespace
} // namespace ostrel::test
