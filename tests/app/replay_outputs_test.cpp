// ostrel-replay where its input or outputs are not plain files: devices, FIFOs,
// links, read-only files, one file named twice, long names, read errors, a
// full disk and a failing standard output.

#include "app/replay_tool.h"
#include "files/atomic_file.h"
#include "tests/capture/capture_fixture.h"
#include "tests/file_helpers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ostrel::test {
namespace {

    class ReplayOutputs : public ::testing::Test {
    protected:
        void SetUp() override { WriteFile(input, job); }
        void TearDown() override { ResetWriterCalls(); }

        int run(std::vector<std::string> args)
        {
            args.push_back(input.string());
            std::istringstream in;
            std::ostringstream outStream, errStream;
            const int status = RunReplay(args, in, outStream, errStream);
            err = errStream.str();
            return status;
        }
        // The program itself, through the shell, for what only a process has:
        // its standard input and output.
        static int shell(const std::string& command)
        {
            const int status
                = std::system((std::string(OSTREL_REPLAY_BINARY) + " " + command).c_str());
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        static mode_t modeOf(const fs::path& path)
        {
            struct stat info { };
            ::lstat(path.c_str(), &info);
            return info.st_mode;
        }

        TestFolder folder { "ostrel-outputs-" };
        const fs::path& dir = folder.path();
        const fs::path input = dir / "job.bin";
        const std::string job = Bytes("1B 40 41 42 0A 10 52");
        std::string err;
    };

    TEST_F(ReplayOutputs, FifoIsWrittenIntoAndStaysAFifo)
    {
        const fs::path fifo = dir / "pipe";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::string got;
        std::thread reader([&] { got = ReadFile(fifo); });
        EXPECT_EQ(run({ "--replies", fifo.string() }), 0) << err;
        reader.join();
        EXPECT_EQ(got, Bytes("10 52 00 08"));
        EXPECT_TRUE(S_ISFIFO(modeOf(fifo)));
    }

    TEST_F(ReplayOutputs, DeviceNodesAreWrittenIntoNeverReplaced)
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "making device nodes needs root";
        const fs::path null = dir / "null", full = dir / "full";
        ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
        EXPECT_EQ(run({ "--log", null.string() }), 0) << err;
        EXPECT_TRUE(S_ISCHR(modeOf(null)));
        EXPECT_EQ(run({ "--log", full.string() }), 1);
        EXPECT_NE(err.find(full.string() + ": No space left on device"), std::string::npos) << err;
        EXPECT_TRUE(S_ISCHR(modeOf(full)));
    }

    TEST_F(ReplayOutputs, LinkIsWrittenThroughToItsTarget)
    {
        WriteFile(dir / "target.txt", "old");
        fs::create_symlink("target.txt", dir / "link.txt");
        fs::create_symlink("new-target.txt", dir / "dangling.txt");
        EXPECT_EQ(run({ "--replies", (dir / "link.txt").string(), "--raw",
                      (dir / "dangling.txt").string() }),
            0)
            << err;
        EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
        EXPECT_TRUE(fs::is_symlink(dir / "dangling.txt"));
        EXPECT_EQ(ReadFile(dir / "target.txt"), Bytes("10 52 00 08"));
        EXPECT_EQ(fs::file_size(dir / "new-target.txt"), 10001u);
    }

    TEST_F(ReplayOutputs, ReadOnlyFileIsRefusedAndLeftAlone)
    {
        const fs::path readOnly = dir / "keep.txt";
        WriteFile(readOnly, "keep me");
        fs::permissions(
            readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_EQ(run({ "--log", readOnly.string() }), 1);
        EXPECT_NE(err.find(readOnly.string()), std::string::npos) << err;
        EXPECT_EQ(ReadFile(readOnly), "keep me");
        EXPECT_EQ(modeOf(readOnly) & 0777, 0444u);
    }

    TEST_F(ReplayOutputs, ReplacedFileKeepsItsPermissions)
    {
        const fs::path log = dir / "private.txt";
        WriteFile(log, "old");
        fs::permissions(log, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(run({ "--log", log.string() }), 0) << err;
        EXPECT_EQ(modeOf(log) & 0777, 0600u);
    }

    TEST_F(ReplayOutputs, OneFileNamedTwiceIsBadUsage)
    {
        const std::string a = (dir / "a.txt").string();
        fs::create_symlink("a.txt", dir / "b.txt");
        for (const auto& args : { std::vector<std::string> { "--log", a, "--hex", a },
                 std::vector<std::string> { "--log", a, "--raw", (dir / "b.txt").string() },
                 std::vector<std::string> {
                     "--ascii", a, "--replies", (dir / "." / "a.txt").string() } }) {
            EXPECT_EQ(run(args), 2);
            EXPECT_NE(err.find("name the same file"), std::string::npos) << err;
        }
        EXPECT_FALSE(fs::exists(a));
        EXPECT_EQ(run({ "--log", "/dev/null", "--raw", "/dev/null" }), 0)
            << "a device takes both, in turn";
    }

    TEST_F(ReplayOutputs, LongestLegalNameWorks)
    {
        const fs::path log = dir / std::string(255, 'n');
        EXPECT_EQ(run({ "--log", log.string() }), 0) << err;
        EXPECT_TRUE(fs::exists(log));
        EXPECT_EQ(run({ "--log", (dir / std::string(256, 'n')).string() }), 1);
        EXPECT_NE(err.find("File name too long"), std::string::npos) << err;
    }

    TEST_F(ReplayOutputs, FullDiskFailsAndKeepsTheOldFiles)
    {
        // The write path fails as a full disk makes it fail...
        WriteFile(dir / "old.txt", "old log");
        WriterCalls().write = [](int, const void*, size_t) -> ssize_t {
            errno = ENOSPC;
            return -1;
        };
        EXPECT_EQ(run({ "--log", (dir / "old.txt").string() }), 1);
        ResetWriterCalls();
        EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
        EXPECT_EQ(ReadFile(dir / "old.txt"), "old log");

        // ...and on a real full file system, where one can be had.
        SmallFileSystem small(dir / "small", "64k");
        if (!small.mounted())
            GTEST_SKIP() << small.whyNot();
        WriteFile(dir / "small" / "cap.txt", "older log");
        small.fill(0);
        EXPECT_EQ(run({ "--log", (dir / "small" / "cap.txt").string(), "--raw",
                      (dir / "small" / "cap.bin").string() }),
            1);
        EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
        EXPECT_EQ(ReadFile(dir / "small" / "cap.txt"), "older log");
        EXPECT_FALSE(fs::exists(dir / "small" / "cap.bin"));
    }

    TEST_F(ReplayOutputs, ReadErrorsAreReportedNotThrown)
    {
        const std::string folderName = dir.string();
        EXPECT_EQ(run({}), 0);
        std::istringstream unused;
        std::ostringstream out, errStream;
        EXPECT_EQ(RunReplay({ folderName }, unused, out, errStream), 1);
        EXPECT_NE(errStream.str().find(folderName + ": Is a directory"), std::string::npos)
            << errStream.str();
        EXPECT_EQ(shell("- < '" + folderName + "' 2>/dev/null"), 1);
        EXPECT_EQ(shell("/proc/self/mem 2>/dev/null"), 1);
    }

    TEST_F(ReplayOutputs, FailingStandardOutputIsAnError)
    {
        EXPECT_EQ(shell("'" + input.string() + "' > /dev/full 2>/dev/null"), 1);
        EXPECT_EQ(shell("'" + input.string() + "' > /dev/null"), 0);
    }

    TEST_F(ReplayOutputs, ChunkingMakesNoDifference)
    {
        std::string big;
        for (int i = 0; i < 3000; ++i)
            big += Bytes("1B 21 08") + "line " + std::to_string(i)
                + Bytes("0D 0A 10 52 1F 2A 00 03 41 42 43");
        WriteFile(input, big);
        std::vector<std::string> logs;
        for (const char* chunk : { "", "1", "7", "65536", "1000000" }) {
            const fs::path log = dir / ("log" + std::string(chunk));
            const fs::path raw = dir / ("raw" + std::string(chunk));
            std::vector<std::string> args = { "--log", log.string(), "--raw", raw.string() };
            if (*chunk != '\0')
                args.insert(args.end(), { "--chunk", chunk });
            ASSERT_EQ(run(args), 0) << err;
            logs.push_back(ReadFile(log) + ReadFile(raw));
        }
        for (const std::string& log : logs)
            EXPECT_EQ(log, logs.front());
    }

} // namespace
} // namespace ostrel::test
