#include "files/capture_file_format.h"
#include "files/capture_opening.h"
#include "tests/capture/capture_fixture.h"
#include "tests/file_helpers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace ostrel::test {
namespace {

    struct NameCase {
        const char* logName;
        const char* rawName;
        bool ignoreCase = false;
    };

    class RawFileName : public ::testing::TestWithParam<NameCase> { };

    TEST_P(RawFileName, DerivedFromTheLogName)
    {
        EXPECT_EQ(
            RawCaptureFileName(GetParam().logName, GetParam().ignoreCase), GetParam().rawName);
    }

    INSTANTIATE_TEST_SUITE_P(Files, RawFileName,
        ::testing::Values(
            // The documented examples.
            NameCase { "/data/captures/job1.txt", "/data/captures/job1.bin" },
            NameCase { "job1", "job1.bin" }, NameCase { "job1.text", "job1.bint" },
            NameCase { "job.one.txt", "job.bin.txt" }, NameCase { "job1.tx", "job1.bi" },
            NameCase { "job1.t", "job1.b" },
            // Dots in folder names are not the file's.
            NameCase { "/data/run.2/job1.txt", "/data/run.2/job1.bin" },
            NameCase { "/data/run.2/job1", "/data/run.2/job1.bin" },
            NameCase { "./job1.txt", "./job1.bin" },
            NameCase { "/home/me/.capture", "/home/me/.binture" },
            // Names the rule would give back unchanged: the log is never overwritten.
            NameCase { "job1.", "job1..bin" }, NameCase { "job1.b", "job1.b.bin" },
            NameCase { "job1.bi", "job1.bi.bin" }, NameCase { "job1.bin", "job1.bin.bin" },
            NameCase { "job1.binary", "job1.binary.bin" },
            NameCase { "job1.BIN", "job1.bin", false },
            NameCase { "job1.BIN", "job1.BIN.bin", true },
            NameCase { "job1.Bi", "job1.Bi.bin", true }));

    TEST(CaptureFiles, LogIsEveryLineWithCrLf)
    {
        Capture c;
        EXPECT_EQ(ViewFileBytes(c.log), "");
        c.feed(Bytes("1B 40 41 42 0A"));
        EXPECT_EQ(ViewFileBytes(c.log),
            Described("1B 40", "ESC: Initialize.") + "\r\n 41 42\r\n" + Described("0A", "LF.")
                + "\r\n \r\n");
    }

    TEST(CaptureFiles, RawIsTheWholeBufferElementZeroFirst)
    {
        Capture c;
        c.feed(Bytes("1B 40 0A"));
        const std::string raw = RawCaptureFileBytes(c.state());
        ASSERT_EQ(raw.size(), 10001u);
        EXPECT_EQ(raw.substr(0, 4), Bytes("00 1B 40 0A"));
        EXPECT_EQ(raw.find_first_not_of('\0', 4), std::string::npos);
    }

    TEST(CaptureFiles, RawAfterClearAllKeepsTheOlderBytesBeyondTheNewOnes)
    {
        Capture c;
        c.feed("ABCDE");
        c.session.ClearAll();
        c.feed("xy");
        EXPECT_EQ(RawCaptureFileBytes(c.state()).substr(0, 7), std::string("\0xyCDE\0", 7));
    }

    // A saved file opened again feeds the views as the live capture did: a job
    // file whole, a raw capture file without its element 0.
    TEST(OpenSavedCapture, FeedsTheSameViewsAsALiveCapture)
    {
        TestFolder dir("ostrel-open-");
        const std::string job = Bytes("1B 40 41 42 0A 1D 56 00 10 52") + "tail";
        Capture live;
        live.feed(job);
        WriteFile(dir.path() / "job.bin", job);
        WriteFile(dir.path() / "raw.bin", RawCaptureFileBytes(live.state()));
        for (const char* name : { "job.bin", "raw.bin" }) {
            SCOPED_TRACE(name);
            Capture opened;
            std::string error;
            ASSERT_TRUE(OpenSavedCapture(opened.session, (dir.path() / name).string(), error))
                << error;
            EXPECT_EQ(opened.state().captureBuffer, live.state().captureBuffer);
            EXPECT_EQ(Lines(opened.log).front(), Lines(live.log).front());
            EXPECT_EQ(Lines(opened.hex).front(), Lines(live.hex).front());
        }
        Capture untouched;
        std::string error;
        EXPECT_FALSE(
            OpenSavedCapture(untouched.session, (dir.path() / "absent.bin").string(), error));
        EXPECT_NE(error.find("absent.bin"), std::string::npos) << error;
        EXPECT_EQ(untouched.state().captureIndex, 1);
    }

    // A raw capture file opened again brings only the bytes received when the
    // command log saved beside it says how many; without it, the zeros at the
    // end are left to the user.
    TEST(OpenSavedCapture, ARawCaptureFileBringsOnlyWhatWasReceived)
    {
        TestFolder dir("ostrel-open-");
        const std::string job = Bytes("1B 40 41 00 42 0A 1D 56 00") + "tail";
        Capture live;
        live.feed(job);
        WriteFile(dir.path() / "demo1.bin", RawCaptureFileBytes(live.state()));
        WriteFile(dir.path() / "demo1.txt", ViewFileBytes(live.log));
        WriteFile(dir.path() / "alone.bin", RawCaptureFileBytes(live.state()));
        WriteFile(dir.path() / "other.bin", RawCaptureFileBytes(live.state()));
        WriteFile(dir.path() / "other.txt", ViewFileBytes(live.log).substr(2)); // not its log
        const struct {
            const char* name;
            long long taken;
            long long unsure;
        } rows[] = { { "demo1.bin", static_cast<long long>(job.size()), 0 },
            { "alone.bin", 10000, 10000 - static_cast<long long>(job.size()) },
            { "other.bin", 10000, 10000 - static_cast<long long>(job.size()) } };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            SavedCaptureReader reader;
            Capture opened;
            std::string error;
            ASSERT_TRUE(reader.open((dir.path() / row.name).string(), 1 << 20, error)) << error;
            EXPECT_EQ(reader.unsureZeros(), row.unsure);
            while (reader.step(opened.session, error) == SavedCaptureReader::Step::More) { }
            EXPECT_EQ(reader.bytesTaken(), row.taken);
        }
        SavedCaptureReader dropped;
        Capture opened;
        std::string error;
        ASSERT_TRUE(dropped.open((dir.path() / "alone.bin").string(), 1 << 20, error));
        dropped.dropUnsureZeros();
        while (dropped.step(opened.session, error) == SavedCaptureReader::Step::More) { }
        EXPECT_EQ(
            opened.session.lblByteCount().text(), "Bytes Received = " + std::to_string(job.size()));
    }

    // A log matches its raw file only when it lists exactly the first bytes and
    // zeros follow them.
    TEST(OpenSavedCapture, ALogMatchesItsRawFileOnlyWhole)
    {
        const std::string raw = std::string("AB\n", 3) + std::string(9997, '\0');
        const struct {
            const char* log;
            long long length; // -1: no match
        } rows[] = {
            { " 41 42\r\n0A                                              >LF.\r\n", 3 },
            { "", -1 }, // lists nothing, yet bytes came
            { " 41 42\r\n", -1 }, // the LF is not listed, yet not zero
            { " 41 43\r\n0A\r\n", -1 }, // other bytes
            { " 41 42\r\n0A", -1 }, // a line without its CR LF
            { " 41 4G\r\n0A\r\n", -1 }, // not hex
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.log);
            const auto length = ReceivedLengthFromLog(row.log, raw);
            EXPECT_EQ(length.value_or(-1), row.length);
        }
    }

    // Endless or writerless inputs never hold whoever opens them: the bytes up to
    // the limit, and a FIFO with no writer reads as ended.
    TEST(OpenSavedCapture, EndlessOrWriterlessInputsStopOrEnd)
    {
        TestFolder dir("ostrel-open-");
        const std::string fifo = (dir.path() / "fifo").string();
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const struct {
            std::string path;
            long long limit;
            long long taken;
        } rows[] = { { "/dev/zero", 100000, 100000 }, { fifo, 100000, 0 }, { "/dev/null", 10, 0 } };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.path);
            SavedCaptureReader reader;
            Capture opened;
            std::string error;
            ASSERT_TRUE(reader.open(row.path, row.limit, error)) << error;
            SavedCaptureReader::Step step;
            while ((step = reader.step(opened.session, error)) == SavedCaptureReader::Step::More) {
            }
            EXPECT_EQ(reader.bytesTaken(), row.taken);
            EXPECT_EQ(step,
                row.taken == row.limit ? SavedCaptureReader::Step::Stopped
                                       : SavedCaptureReader::Step::Done);
        }
    }

} // namespace
} // namespace ostrel::test
