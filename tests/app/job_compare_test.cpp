// Comparing a job with its golden job, command by command.

#include "app/job_compare.h"
#include "app/replay_tool.h"
#include "tests/capture/capture_fixture.h"
#include "tests/file_helpers.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ostrel::test {
namespace {

    const std::string kGolden = Bytes("1B 40 1B 61 01") + "SHOP\r\n" + Bytes("1B 21 08")
        + "TOTAL 12.50\r\n" + Bytes("1D 76 30 00 01 00 02 00 10 52") + Bytes("1D 56 00");

    struct CompareCase {
        const char* name;
        std::string job;
        std::vector<std::string> says; // in the report, in this order
    };

    TEST(CompareJobs, SameOrTheFirstDifferencesNamed)
    {
        std::string changedByte = kGolden;
        changedByte[kGolden.find("12.50") + 1] = '3';
        std::string changedParameter = kGolden;
        changedParameter[kGolden.find(Bytes("1B 21")) + 2] = 0;
        std::string missing = kGolden;
        missing.erase(kGolden.find(Bytes("1B 61")), 3);
        const CompareCase cases[] = {
            { "identical", kGolden, { "same: 40 bytes, 11 printer commands" } },
            { "one changed text byte", changedByte,
                { "1 place", "at byte 14", "changed: expected Text  \"TOTAL 12.50\"",
                    "got Text  \"TOTAL 13.50\"" } },
            { "one changed parameter", changedParameter,
                { "changed: expected ESC ! 8  Print mode: font A, bold",
                    "got ESC ! 0  Print mode: font A" } },
            { "a missing command", missing, { "1 place", "missing: ESC a 1  Align center" } },
            { "a longer job", kGolden + "more" + Bytes("0A"),
                { "2 places", "extra: Text  \"more\"", "extra: LF  Print and line feed" } },
            { "image data that differs",
                kGolden.substr(0, kGolden.size() - 4) + Bytes("53 1D 56 00"),
                { "1 place", "changed: expected GS v 0", "Raster image 8 x 2 dots" } },
        };
        for (const CompareCase& c : cases) {
            SCOPED_TRACE(c.name);
            std::string report;
            EXPECT_EQ(CompareJobs(kGolden, c.job, report), std::string(c.name) == "identical");
            std::size_t at = 0;
            for (const std::string& part : c.says) {
                const std::size_t found = report.find(part, at);
                EXPECT_NE(found, std::string::npos) << "\"" << part << "\" in\n" << report;
                at = found == std::string::npos ? at : found;
            }
        }
    }

    TEST(CompareJobs, ManyDifferencesAreCutShort)
    {
        std::string job;
        for (int i = 0; i < 30; ++i)
            job += std::string(1, 'x') + Bytes("0A");
        std::string report;
        EXPECT_FALSE(CompareJobs("", job, report, 10));
        EXPECT_NE(report.find("... and 50 more"), std::string::npos) << report;
    }

    // Two long jobs that differ everywhere are compared in bounded time and
    // memory: past the counted differences the rest is only read.
    TEST(CompareJobs, LongJobsThatDifferEverywhereStopCounting)
    {
        std::string golden, job;
        for (int i = 0; i < 50'000; ++i) {
            golden += "a" + std::to_string(i) + Bytes("0A");
            job += Bytes("1B 45 01") + "b" + std::to_string(i) + Bytes("1D 21 11");
        }
        std::istringstream goldenIn(golden), jobIn(job);
        receipt::EstimatedSymbolGeometry geometry;
        const JobComparison result = CompareJobs(goldenIn, jobIn, geometry, 10, 1000);
        EXPECT_EQ(result.outcome, JobComparison::Differ);
        EXPECT_NE(result.report.find("at least 1000 places"), std::string::npos) << result.report;
        EXPECT_NE(result.report.find("100000 printer commands; this job"), std::string::npos)
            << result.report;
    }

    TEST(CompareJobs, BytesThatDifferWhereNoWholeCommandIsAreFound)
    {
        const std::string image = Bytes("1D 76 30 00 50 00 FF 00"); // its data runs past the end
        std::string tooLong
            = Bytes("1D 76 30 00 00 08 00 08") + std::string(2 << 20, 'x'); // past the kept length
        std::string tooLongOther = tooLong;
        tooLongOther[tooLong.size() - 9] = 'y';
        const struct {
            const char* name;
            std::string golden, job;
            std::vector<std::string> says;
        } cases[] = {
            { "both unfinished, by other lengths", image + std::string(1008, 'a'),
                image + std::string(2008, 'a'),
                { "changed: expected GS v 0  Unfinished: 1016 bytes",
                    "got GS v 0  Unfinished: 2016 bytes" } },
            { "inside a command too long to keep", tooLong + "\n", tooLongOther + "\n",
                { "1 place", "at byte " + std::to_string(tooLong.size() - 9),
                    "the bytes differ" } },
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            std::string report;
            EXPECT_FALSE(CompareJobs(c.golden, c.job, report));
            std::size_t at = 0;
            for (const std::string& part : c.says) {
                at = report.find(part, at);
                EXPECT_NE(at, std::string::npos) << "\"" << part << "\" in\n" << report;
            }
            EXPECT_TRUE(CompareJobs(c.golden, c.golden, report)) << report;
        }
    }

    TEST(CompareJobs, ThroughReplayExitStatuses)
    {
        TestFolder dir("ostrel-compare-");
        WriteFile(dir.path() / "golden.bin", kGolden);
        WriteFile(dir.path() / "same.bin", kGolden);
        WriteFile(dir.path() / "other.bin", kGolden + "!");
        const auto run = [&](const std::vector<std::string>& args, std::string& out) {
            std::istringstream in;
            std::ostringstream outStream, err;
            const int status = RunReplay(args, in, outStream, err);
            out = outStream.str() + err.str();
            return status;
        };
        const std::string golden = (dir.path() / "golden.bin").string();
        std::string out;
        EXPECT_EQ(run({ "--compare", golden, (dir.path() / "same.bin").string() }, out), 0) << out;
        EXPECT_EQ(run({ "--compare", golden, (dir.path() / "other.bin").string() }, out), 3) << out;
        EXPECT_NE(out.find("extra: Text  \"!\""), std::string::npos) << out;
        EXPECT_EQ(run({ "--compare", (dir.path() / "absent.bin").string(), golden }, out), 1);
        EXPECT_NE(out.find("absent.bin: No such file or directory"), std::string::npos) << out;
        EXPECT_EQ(run({ "--help" }, out), 0);
        EXPECT_NE(out.find("--compare <GOLDEN>"), std::string::npos);
    }

} // namespace
} // namespace ostrel::test
