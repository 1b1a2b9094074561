// The LPD port over the real loopback: conversations side by side, a peer
// that shuts its side after asking, the idle limit keeping what came, and
// connections past the most waiting their turn.

#include "net/lpd_port.h"
#include "tests/net/loopback_client.h"
#include "tests/serial/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace ostrel::test {
namespace {

    struct Printer {
        explicit Printer(std::chrono::milliseconds idle = 30s)
            : port(LpdLimits {}, TcpJobLimits { idle, 10min })
        {
            ListenAddress where;
            std::string error;
            EXPECT_TRUE(ParseListenAddress("127.0.0.1:0", where, error)) << error;
            EXPECT_TRUE(port.listen(where, error)) << error;
            port.job = [this](LpdJob job, const std::string& peer) {
                jobs.push_back(std::move(job));
                peers.push_back(peer);
            };
            port.answer = [](const LpdQuery& query) {
                return LpdQueueAnswer(query, "till", "generic", PrinterState {});
            };
            port.said = [this](const std::string& line) { said.push_back(line); };
        }
        LpdPort port;
        std::vector<LpdJob> jobs;
        std::vector<std::string> peers;
        std::vector<std::string> said;
    };

    const std::string kAck(1, '\0');

    TEST(LpdPort, AQueryIsAnsweredWhileAJobIsOpen)
    {
        Printer printer;
        LoopbackClient job("127.0.0.1", printer.port.port());
        job.send("\x02raw\n\x03"
                 "5 dfA1\nhello");
        EXPECT_EQ(job.receive(2), kAck + kAck);
        // Asked by a peer that shuts its side at once, as `nc -q1` does.
        LoopbackClient query("127.0.0.1", printer.port.port());
        query.send("\x03raw\n");
        query.shutDownSending();
        EXPECT_EQ(query.receive(64), "raw: ready\nno entries\n");
        EXPECT_TRUE(query.closedByPeer());
        job.send(std::string(1, '\0')
            + "\x02"
              "6 cfA1\nJname\n"
            + '\0');
        EXPECT_EQ(job.receive(3), kAck + kAck + kAck);
        job.close();
        ASSERT_TRUE(WaitUntil([&] { return printer.jobs.size() == 1; }));
        EXPECT_EQ(printer.jobs[0].bytes, "hello");
        EXPECT_EQ(printer.jobs[0].control.jobName, "name");
        EXPECT_EQ(printer.peers[0].rfind("127.0.0.1:", 0), 0u) << printer.peers[0];
        EXPECT_TRUE(printer.said.empty());
    }

    TEST(LpdPort, TheIdleLimitKeepsWhatCame)
    {
        Printer printer(100ms);
        LoopbackClient job("127.0.0.1", printer.port.port());
        job.send("\x02raw\n\x02"
                 "6 cfA1\nJname\n"
            + std::string(1, '\0')
            + "\x03"
              "10 dfA1\nabc");
        EXPECT_EQ(job.receive(4), std::string(4, '\0'));
        EXPECT_TRUE(job.closedByPeer());
        ASSERT_EQ(printer.jobs.size(), 1u);
        EXPECT_EQ(printer.jobs[0].bytes, "abc");
        EXPECT_EQ(printer.jobs[0].incomplete, "ended after 3 of 10 bytes: idle timeout");
        ASSERT_EQ(printer.said.size(), 1u);
        EXPECT_EQ(printer.said[0].rfind("lpd 127.0.0.1:", 0), 0u) << printer.said[0];
        EXPECT_NE(printer.said[0].find("idle timeout"), std::string::npos) << printer.said[0];
    }

    TEST(LpdPort, ConnectionsPastTheMostWaitTheirTurn)
    {
        Printer printer;
        std::vector<std::unique_ptr<LoopbackClient>> silent;
        for (std::size_t i = 0; i < LpdPort::kMostConversations; ++i)
            silent.push_back(std::make_unique<LoopbackClient>("127.0.0.1", printer.port.port()));
        ASSERT_TRUE(
            WaitUntil([&] { return printer.port.conversations() == LpdPort::kMostConversations; }));
        LoopbackClient query("127.0.0.1", printer.port.port());
        query.send("\x04raw\n");
        EXPECT_EQ(query.receive(1, 200ms), "") << "answered past the most";
        silent.front()->close();
        EXPECT_NE(query.receive(200).find("State: ready"), std::string::npos);
        EXPECT_LE(printer.port.conversations(), LpdPort::kMostConversations);
    }

    TEST(LpdPort, TheAnswerSaysThePrintersState)
    {
        PrinterState state;
        state.paperOut = true;
        state.paperNearEnd = true;
        EXPECT_EQ(LpdQueueAnswer({ LpdQuery::ShortState, "raw", "" }, "till", "generic", state),
            "raw: not ready (paper-near-end,paper-out)\nno entries\n");
        state = {};
        state.paperNearEnd = true;
        const std::string long_
            = LpdQueueAnswer({ LpdQuery::LongState, "r\x1b", "" }, "till", "tm-t88", state);
        EXPECT_NE(long_.find("State: ready\nSensors: paper-near-end\n"), std::string::npos)
            << long_;
        EXPECT_NE(long_.find("queue $'r\\e'"), std::string::npos) << long_;
    }

} // namespace
} // namespace ostrel::test
