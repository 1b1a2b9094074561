// One suite, four wirings of the capture session: the window (with its port
// stand-in, and listening on TCP), ostrel-replay, and the session the other
// tests use. The engine is the same in all of them; what can break is how each
// hands it the bytes, the status boxes and the replies.

#include "app/replay_tool.h"
#include "files/capture_file_format.h"
#include "net/tcp_port_thread.h"
#include "tests/capture/capture_fixture.h"
#include "tests/file_helpers.h"
#include "tests/net/loopback_client.h"
#include "tests/serial/pseudo_terminal.h"
#include "tests/ui/window_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace ostrel::test {
namespace {

    // What every wiring shows in the end.
    struct Outcome {
        std::string logFile; // the command log as saved
        std::string replies;
        std::string byteCaption, commandCaption;
        bool operator==(const Outcome&) const = default;
    };

    std::ostream& operator<<(std::ostream& out, const Outcome& o)
    {
        return out << "log " << ::testing::PrintToString(o.logFile) << " replies "
                   << ::testing::PrintToString(o.replies) << " " << o.byteCaption << " / "
                   << o.commandCaption;
    }

    class Wiring {
    public:
        virtual ~Wiring() = default;
        // The status boxes, as two bytes, and whether status return is on.
        virtual void setStatus(std::uint8_t byte1, std::uint8_t byte2, bool enabled) = 0;
        virtual Outcome capture(const std::vector<std::string>& chunks) = 0;
    };

    class TestSession : public Wiring {
    public:
        void setStatus(std::uint8_t b1, std::uint8_t b2, bool on) override
        {
            c.status = FixedStatusControls(b1, b2, on);
        }
        Outcome capture(const std::vector<std::string>& chunks) override
        {
            for (const std::string& chunk : chunks)
                c.feed(chunk);
            std::string replies;
            for (const std::string& reply : c.replies)
                replies += reply;
            return { ViewFileBytes(c.log), replies, c.byteCount.text(), c.commandCount.text() };
        }
        Capture c;
    };

    class WindowWiring : public Wiring {
    public:
        void setStatus(std::uint8_t b1, std::uint8_t b2, bool on) override
        {
            for (int i = 0; i < 8; ++i) {
                w.form->chkStatusBits[i]->setChecked((b1 >> i) & 1);
                w.form->chkStatusBits2[i]->setChecked((b2 >> i) & 1);
            }
            w.form->chkEnableStatusBack->setChecked(on);
        }
        Outcome capture(const std::vector<std::string>& chunks) override
        {
            w.form->chkEnableSerialPort->click();
            for (const std::string& chunk : chunks)
                w.comm.receive(chunk);
            std::string replies;
            for (const std::string& reply : w.comm.sent)
                replies += reply;
            return shown(replies);
        }
        Outcome shown(const std::string& replies)
        {
            return { ViewFileBytes(w.form->listCommands->lines()), replies,
                w.form->lblByteCount->text().toStdString(),
                w.form->lblCmdCount->text().toStdString() };
        }
        Window w;
    };

    // The window listening on TCP: the port reads and answers on a thread of its
    // own, and the session's thread takes the bytes later.
    class TcpWindowWiring : public WindowWiring {
    public:
        Outcome capture(const std::vector<std::string>& chunks) override
        {
            TcpPortThread port(w.session);
            ListenAddress where;
            std::string error;
            EXPECT_TRUE(
                ParseListenAddress("127.0.0.1:0", where, error) && port.listen(where, error))
                << error;
            struct : CaptureListener {
                void chunkTaken(std::string_view chunk, ByteSource*) override
                {
                    taken += chunk.size();
                }
                void sourceEnded(ByteSource&) override { ended = true; }
                std::size_t taken = 0;
                bool ended = false;
            } seen;
            w.session.addListener(seen);
            LoopbackClient client("127.0.0.1", port.port());
            std::size_t sent = 0;
            for (const std::string& chunk : chunks) {
                // A chunk at a time, as the other wirings hand them over.
                client.send(chunk);
                sent += chunk.size();
                EXPECT_TRUE(WaitUntil([&] { return seen.taken == sent; }));
            }
            client.shutDownSending();
            const std::string replies = client.receive(1 << 16);
            EXPECT_TRUE(WaitUntil([&] { return seen.ended; }));
            w.session.removeListener(seen);
            w.form->showCapture();
            return shown(replies);
        }
    };

    class ReplayWiring : public Wiring {
    public:
        void setStatus(std::uint8_t b1, std::uint8_t b2, bool on) override
        {
            args = { "--status-bits", std::to_string(b1) + "," + std::to_string(b2) };
            if (!on)
                args.push_back("--no-status-return");
        }
        Outcome capture(const std::vector<std::string>& chunks) override
        {
            TestFolder dir("session-wiring-");
            std::string input;
            for (const std::string& chunk : chunks)
                input += chunk;
            std::vector<std::string> all = args;
            for (const char* option : { "--log", "--replies" })
                all.insert(all.end(), { option, (dir.path() / (option + 2)).string() });
            all.insert(all.end(), { "--counters", "-" });
            std::istringstream in(input);
            std::ostringstream out, err;
            EXPECT_EQ(RunReplay(all, in, out, err), 0) << err.str();
            std::istringstream counters(err.str());
            Outcome outcome { ReadFile(dir.path() / "log"), ReadFile(dir.path() / "replies"), "",
                "" };
            std::getline(counters, outcome.byteCaption);
            std::getline(counters, outcome.commandCaption);
            return outcome;
        }
        std::vector<std::string> args;
    };

    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::uint8_t byte1 = 0, byte2 = 8;
        bool statusReturn = true;
        std::string replies; // what the host gets back
    };

    const Case kCases[] = {
        { "WorkedExample", { Bytes("1B 40 41"), Bytes("42 0A") }, 0, 8, true, "" },
        { "RequestAnsweredWithTheBoxes", { Bytes("10 52") }, 0x21, 0x40, true,
            Bytes("10 52 21 40") },
        { "TwoRequestsInOneChunk", { Bytes("10 52 41 10 52") }, 0, 8, true,
            Bytes("10 52 00 08 10 52 00 08") },
        { "RequestSplitOverChunks", { Bytes("41 10"), Bytes("52 0A") }, 1, 2, true,
            Bytes("10 52 01 02") },
        { "StatusReturnOff", { Bytes("10 52 10 52") }, 0xFF, 0xFF, false, "" },
        { "RequestInsideImageData", { Bytes("1F 2A 00 02 10 52 10 52") }, 0, 8, true,
            Bytes("10 52 00 08") },
        { "LongMixedJob", { std::string(5000, 'x') + Bytes("1B 21 10 52 10 52 1D 56") }, 3, 4, true,
            Bytes("10 52 03 04") },
    };

    using MakeWiring = std::function<std::unique_ptr<Wiring>()>;

    class SessionWiring : public ::testing::TestWithParam<std::tuple<const char*, Case>> { };

    TEST_P(SessionWiring, SameViewsCountersAndReplies)
    {
        const auto& [wiringName, c] = GetParam();
        const std::map<std::string, MakeWiring> wirings = {
            { "window", [] { return std::make_unique<WindowWiring>(); } },
            { "window_tcp", [] { return std::make_unique<TcpWindowWiring>(); } },
            { "replay", [] { return std::make_unique<ReplayWiring>(); } },
            { "session", [] { return std::make_unique<TestSession>(); } },
        };
        // The expectation is the plain session's; the replies are stated.
        TestSession reference;
        reference.setStatus(c.byte1, c.byte2, c.statusReturn);
        const Outcome expected = reference.capture(c.chunks);
        EXPECT_EQ(expected.replies, c.replies);

        const auto wiring = wirings.at(wiringName)();
        wiring->setStatus(c.byte1, c.byte2, c.statusReturn);
        EXPECT_EQ(wiring->capture(c.chunks), expected);
    }

    INSTANTIATE_TEST_SUITE_P(Wirings, SessionWiring,
        ::testing::Combine(::testing::Values("window", "window_tcp", "replay", "session"),
            ::testing::ValuesIn(kCases)),
        [](const auto& info) {
            return std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
        });

} // namespace
} // namespace ostrel::test
