// ostrel-replay end to end: its files byte for byte, its exit statuses, and
// that a failed run leaves no partial file behind.

#include "app/replay_tool.h"
#include "app/tool_options.h"
#include "tests/capture/capture_fixture.h"
#include "tests/file_helpers.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ostrel::test {
namespace {

    class Replay : public ::testing::Test {
    protected:
        void SetUp() override { input = dir / "job.bin"; }

        int run(std::vector<std::string> args, const std::string& stdinBytes = "")
        {
            std::istringstream in(stdinBytes);
            std::ostringstream outStream, errStream;
            const int status = RunReplay(args, in, outStream, errStream);
            out = outStream.str();
            err = errStream.str();
            return status;
        }

        std::vector<std::string> filesInDir() const
        {
            std::vector<std::string> names;
            for (const auto& entry : fs::directory_iterator(dir))
                names.push_back(entry.path().filename().string());
            std::sort(names.begin(), names.end());
            return names;
        }

        TestFolder folder { "ostrel-replay-" };
        const fs::path& dir = folder.path();
        fs::path input;
        std::string out, err;
    };

    const std::string kWorkedLog = Described("1B 40", "ESC: Initialize.") + "\r\n 41 42\r\n"
        + Described("0A", "LF.") + "\r\n \r\n";

    TEST_F(Replay, WorkedExampleLogOnStandardOutput)
    {
        WriteFile(input, Bytes("1B 40 41 42 0A"));
        EXPECT_EQ(run({ input.string() }), 0);
        EXPECT_EQ(out, kWorkedLog);
        EXPECT_EQ(err, "");
    }

    TEST_F(Replay, EveryFileByteForByte)
    {
        WriteFile(input, Bytes("1B 40 41 42 0A 10 52") + "ABCDEFGH" + Bytes("10 52"));
        const fs::path log = dir / "log.txt", hex = dir / "hex.txt", ascii = dir / "ascii.txt",
                       raw = dir / "raw.bin", replies = dir / "replies.bin";
        EXPECT_EQ(run({ "--log", log.string(), "--hex", hex.string(), "--ascii", ascii.string(),
                      "--raw", raw.string(), "--replies", replies.string(), "--status-bits",
                      "1,255", "--counters", "--chunk", "3", input.string() }),
            0);
        EXPECT_EQ(out, "");
        EXPECT_EQ(err, "Bytes Received = 17\nCommand Count = 4\n");
        EXPECT_EQ(ReadFile(hex), "1B 40 41 42 0A 10 52 41\r\n42 43 44 45 46 47 48 10\r\n52\r\n");
        EXPECT_EQ(ReadFile(ascii),
            Bytes("1B 40 41 42 0A 10 52 41") + "\r\nBCDEFGH" + Bytes("10") + "\r\nR\r\n");
        EXPECT_EQ(ReadFile(replies), Bytes("10 52 01 FF 10 52 01 FF"));
        const std::string rawBytes = ReadFile(raw);
        ASSERT_EQ(rawBytes.size(), 10001u);
        EXPECT_EQ(rawBytes.substr(0, 18),
            '\0' + Bytes("1B 40 41 42 0A 10 52") + "ABCDEFGH" + Bytes("10 52"));
        EXPECT_EQ(ReadFile(log),
            kWorkedLog.substr(0, kWorkedLog.size() - 3) + Described("10 52", "DLE: Status Request.")
                + "\r\n 41 42 43 44 45 46 47 48\r\n" + Described("10 52", "DLE: Status Request.")
                + "\r\n \r\n");
    }

    TEST_F(Replay, StandardInputAndNoStatusReturn)
    {
        const fs::path replies = dir / "replies.bin";
        EXPECT_EQ(
            run({ "--no-status-return", "--replies", replies.string(), "-" }, Bytes("10 52")), 0);
        EXPECT_EQ(ReadFile(replies), "");
        EXPECT_TRUE(fs::exists(replies));
        EXPECT_EQ(out, Described("10 52", "DLE: Status Request.") + "\r\n \r\n");
    }

    TEST_F(Replay, StateAnswersTheRealTimeRequestsToo)
    {
        const fs::path replies = dir / "replies.bin";
        const std::string job = Bytes("41 10 04 04 10 52 1D 72 01");
        EXPECT_EQ(run({ "--replies", replies.string(), "-" }, job), 0);
        EXPECT_EQ(ReadFile(replies), Bytes("10 52 00 08"))
            << "as the window's serial port at start-up";
        EXPECT_EQ(run({ "--state", "paper-out", "--replies", replies.string(), "-" }, job), 0);
        EXPECT_EQ(ReadFile(replies), Bytes("72 10 52 00 08 0C"));
        EXPECT_EQ(run({ "--state", "jammed", "-" }, job), 2);
        EXPECT_NE(err.find("jammed"), std::string::npos) << err;
    }

    // Printed in time on a clock of its own: GS r 1 after 400 mm is answered at
    // 4 s at 100 mm/s, whatever the chunking; a 0.3 m roll ends, and is changed,
    // where the paper reaches 300 mm.
    TEST_F(Replay, PrintsInTimeAndSaysWhereTheRollEnded)
    {
        std::string job = Bytes("1B 40");
        for (int i = 0; i < 16; ++i)
            job += Bytes("1B 4A C8"); // 25 mm each
        WriteFile(input, job + Bytes("1D 72 01 10 04 01"));
        for (const char* chunk : { "1", "7", "64K" }) {
            SCOPED_TRACE(chunk);
            const fs::path replies = dir / "replies.bin";
            ASSERT_EQ(run({ "--print-speed", "100", "--roll", "0.3", "--state", "", "--chunk",
                          chunk, "--report", "-", "--replies", replies.string(), input.string() }),
                0)
                << err;
            EXPECT_NE(out.find("\"answered_after_printing\":[{\"request\":\"GS r "
                               "1\",\"printed\":56,\"at_ms\":4000.0}]"),
                std::string::npos)
                << out;
            EXPECT_NE(
                out.find("\"roll_ends\":[{\"printed\":38,\"paper_mm\":300.0,\"at_ms\":3000.0}]"),
                std::string::npos)
                << out;
            EXPECT_EQ(ReadFile(replies), Bytes("12 00"))
                << "DLE EOT 1 at once, GS r 1 once printed";
        }
    }

    // The model's commands with the rectangles they printed in, placed as the
    // preview's PNG stacks the receipts: the second receipt's line lies below
    // the first receipt.
    TEST_F(Replay, ListsTheCommandsWithTheirPlacesOnThePreview)
    {
        WriteFile(input, "first\n" + Bytes("1D 56 00") + "second\n");
        ASSERT_EQ(
            run({ "--commands", "-", "--log", (dir / "log.txt").string(), input.string() }), 0)
            << err;
        const auto second = out.find(
            "\"receipt\":1,\"offset\":9,\"text\":\"Text\",\"description\":\"\\\"second\\\"\",");
        ASSERT_NE(second, std::string::npos) << out;
        const int y = std::stoi(out.substr(out.find("\"y\":", second) + 4));
        EXPECT_GT(y, 30) << "below the first receipt and the gap after it";
        EXPECT_EQ(
            out.rfind(
                "{\"paper_width\":576,\"commands\":[{\"receipt\":0,\"offset\":0,\"text\":\"Text\"",
                0),
            0u)
            << out;
    }

    // A job read on the printer whose memory ostrel-capture kept: the logo an
    // earlier job stored prints; a memory that is no memory fails.
    TEST_F(Replay, ReadsAJobWithThePrintersMemory)
    {
        const fs::path memory = dir / "jobs" / "memory";
        fs::create_directories(memory);
        // NV graphics "LG", 8 x 2 dots, and a definition a killed run cut off.
        WriteFile(memory / "generic.nv.bin",
            Bytes("1D 28 4C 0D 00 30 43 30 4C 47 01 08 00 02 00 31 FF 81 1D 28 4C 0D 00 30"));
        WriteFile(input, Bytes("1D 28 4C 06 00 30 45 4C 47 01 01"));
        const std::string commands = (dir / "commands.json").string();
        ASSERT_EQ(run({ "--memory", (dir / "jobs").string(), "--commands", commands, "--log",
                      "/dev/null", input.string() }),
            0)
            << err;
        EXPECT_NE(ReadFile(commands).find(
                      "\"description\":\"Print NV graphics LG (stored by an earlier job)\",\"x\":0,"
                      "\"y\":0,\"width\":8,\"height\":2}"),
            std::string::npos)
            << ReadFile(commands);
        EXPECT_EQ(run({ "--memory", input.string(), "--report", "-", input.string() }), 1);
        EXPECT_NE(err.find("job.bin: not a folder"), std::string::npos) << err;
        WriteFile(memory / "generic.download.bin", std::string(2 << 20, '\0'));
        EXPECT_EQ(run({ "--memory", memory.string(), "--report", "-", input.string() }), 1);
        EXPECT_NE(
            err.find("generic.download.bin: 2097152 bytes, more than a printer's memory holds"),
            std::string::npos)
            << err;
    }

    TEST_F(Replay, MissingInputFailsWithItsName)
    {
        EXPECT_EQ(run({ (dir / "absent.bin").string(), "--log", (dir / "log.txt").string() }), 1);
        EXPECT_NE(err.find("absent.bin"), std::string::npos) << err;
        EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
        EXPECT_EQ(filesInDir(), std::vector<std::string> {}) << "no output file made";
    }

    // File names are bytes: one that is not UTF-8 is read and written as given,
    // and named in messages quoted.
    TEST_F(Replay, FileNamesThatAreNotUtf8AreKeptAsGiven)
    {
        for (const std::string name : { "n\xff.bin", "Grüße.bin", "\xed\xb2\x80.bin", "a\xc3.bin" })
            EXPECT_EQ(LocalBytes(TextOfLocalBytes(name)), name);
        const fs::path odd = dir / "n\xff.bin";
        WriteFile(odd, Bytes("1B 40 41 42 0A"));
        EXPECT_EQ(run({ odd.string(), "--report", (dir / "r\xfe.json").string(), "--preview",
                      (dir / "p\xfd.png").string() }),
            0)
            << err;
        EXPECT_TRUE(fs::exists(dir / "r\xfe.json"));
        EXPECT_TRUE(fs::exists(dir / "p\xfd.png"));
        EXPECT_EQ(run({ (dir / "gone\xff\x1b]0;x\x07.bin").string() }), 1);
        EXPECT_NE(
            err.find("gone\\xFF\\e]0;x\\a.bin': No such file or directory"), std::string::npos)
            << err;
    }

    TEST_F(Replay, UnwritableOutputLeavesNoPartialFiles)
    {
        WriteFile(input, Bytes("1B 40 0A"));
        WriteFile(dir / "old.txt", "old log");
        const fs::path locked = dir / "locked";
        fs::create_directories(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        const bool root = ::geteuid() == 0;
        // Root may write into any folder, so it is also tried with a missing one.
        for (const fs::path& bad :
            { locked / "raw.bin", dir / "missing" / "raw.bin", dir / "locked" }) {
            if (root && bad == locked / "raw.bin")
                continue;
            SCOPED_TRACE(bad);
            EXPECT_EQ(
                run({ "--log", (dir / "old.txt").string(), "--raw", bad.string(), input.string() }),
                1);
            EXPECT_NE(err.find(bad.string()), std::string::npos) << err;
            EXPECT_EQ(ReadFile(dir / "old.txt"), "old log") << "nothing replaced";
            EXPECT_EQ(filesInDir(), (std::vector<std::string> { "job.bin", "locked", "old.txt" }));
        }
    }

    struct UsageCase {
        std::vector<std::string> args;
        const char* reason;
    };

    TEST_F(Replay, BadUsageGivesAReasonAndTheUsage)
    {
        const UsageCase cases[] = {
            { { "--frobnicate", "x" }, "ostrel-replay: --frobnicate: no such option" },
            { { "-z", "x" }, "ostrel-replay: -z: no such option" },
            { { "--markers", "x" }, "--markers: has no effect without --preview" },
            { { "--compare", "g", "--report", "r", "x" },
                "--report: has no effect with --compare" },
            { { "--memory", "m", "x" },
                "--memory: has an effect only with --preview, --report or --commands" },
            { { "--compare", "g", "--memory", "m", "x" },
                "--memory: has no effect with --compare" },
            { { "--chunk", "0", "x" }, "--chunk" },
            { { "--print-speed", "model", "x" },
                "--print-speed: the model generic has no print speed of its own" },
            { { "--script", "s", "x" }, "ostrel-replay: --script: no such option" },
            { { "--chunk", "ten", "x" }, "--chunk" },
            { { "--status-bits", "1,256", "x" }, "--status-bits" },
            { { "--status-bits", "7", "x" }, "--status-bits" },
            { { "--log" }, "ostrel-replay: --log: needs a value" },
            { {}, "INPUT: give the file" },
            { { "a", "b" }, "b: only one INPUT" },
        };
        for (const UsageCase& c : cases) {
            EXPECT_EQ(run(c.args), 2) << c.reason;
            EXPECT_NE(err.find(c.reason), std::string::npos) << err;
            EXPECT_NE(err.find("see ostrel-replay --help"), std::string::npos);
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2)
                << "one line and the pointer: " << err;
        }
        EXPECT_EQ(run({ "--help" }), 0);
        EXPECT_TRUE(out.starts_with("Usage: ostrel-replay [options] INPUT")) << out;
        EXPECT_NE(out.find("--status-bits <B1,B2>"), std::string::npos);
        EXPECT_EQ(run({ "--version" }), 0);
        EXPECT_TRUE(out.starts_with("ostrel-replay ")) << out;
    }

    TEST_F(Replay, TheInstalledProgramWritesTheWorkedExample)
    {
        WriteFile(input, Bytes("1B 40 41 42 0A"));
        const fs::path log = dir / "log.txt";
        const std::string command = std::string(OSTREL_REPLAY_BINARY) + " --log '" + log.string()
            + "' '" + input.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(ReadFile(log), kWorkedLog);
        const std::string missing = std::string(OSTREL_REPLAY_BINARY) + " /nonexistent 2>/dev/null";
        EXPECT_EQ(WEXITSTATUS(std::system(missing.c_str())), 1);
    }

} // namespace
} // namespace ostrel::test
