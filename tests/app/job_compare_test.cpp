// Comparing a job with its golden job, command by command.

#include "app/job_compare.h"
#include "app/replay_tool.h"
#include "tests/capture/capture_fixture.h"
#include "tests/file_helpers.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ostrel::test {
namespace {

const std::string kGolden = Bytes("1B 40 1B 61 01") + "SHOP\r\n" + Bytes("1B 21 08") + "TOTAL 12.50\r\n" +
                            Bytes("1F 2A 00 03 1B 10 52") + Bytes("1D 56");

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
        {"identical", kGolden, {"same: 36 bytes, 9 commands"}},
        {"one changed text byte", changedByte,
         {"1 place", "at byte 14", "changed: expected text \"TOTAL 12.50\"", "got text \"TOTAL 13.50\""}},
        {"one changed parameter", changedParameter,
         {"changed: expected ESC ! (Set Print Mode.) 1B 21 08", "got ESC ! (Set Print Mode.) 1B 21 00"}},
        {"a missing command", missing, {"1 place", "missing: ESC a (Set Barcode Justification.) 1B 61 01"}},
        {"a longer job", kGolden + "more" + Bytes("0A"),
         {"2 places", "extra: text \"more\"", "extra: LF (LF.) 0A"}},
        {"image data that differs", kGolden.substr(0, kGolden.size() - 5) + Bytes("1B 10 53 1D 56"),
         {"changed: expected US * (Bit Image.) 1F 2A 00 03 1B 10 52"}},
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
    EXPECT_EQ(run({"--compare", golden, (dir.path() / "same.bin").string()}, out), 0) << out;
    EXPECT_EQ(run({"--compare", golden, (dir.path() / "other.bin").string()}, out), 3) << out;
    EXPECT_NE(out.find("extra: text \"!\""), std::string::npos) << out;
    EXPECT_EQ(run({"--compare", (dir.path() / "absent.bin").string(), golden}, out), 1);
    EXPECT_NE(out.find("absent.bin"), std::string::npos) << out;
    EXPECT_EQ(run({"--help"}, out), 0);
    EXPECT_NE(out.find("--compare <GOLDEN>"), std::string::npos);
}

} // namespace
} // namespace ostrel::test
