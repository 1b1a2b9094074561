// A job ends at its cut, found as the printer's language frames the bytes:
// data inside a command is never read as a cut, however the bytes arrive.

#include "receipt/cut_finder.h"
#include "tests/receipt/job_bytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace ostrel::receipt {
namespace {

    using test::Bytes;
    using test::ESC;
    using test::GS;

    // The jobs' sizes, the bytes fed in the pieces that cuts at `points` make,
    // with the finder restarted at each cut as a serial port's jobs are.
    std::vector<std::size_t> JobSizes(
        Language language, std::string_view bytes, std::vector<std::size_t> points)
    {
        CutFinder finder(language);
        std::vector<std::size_t> sizes;
        std::size_t jobStart = 0, from = 0;
        points.push_back(bytes.size());
        for (const std::size_t to : points) {
            std::string_view piece = bytes.substr(from, to - from);
            std::size_t at = from;
            while (!piece.empty()) {
                const std::size_t cut = finder.feed(piece);
                if (cut == std::string_view::npos)
                    break;
                sizes.push_back(at + cut - jobStart);
                jobStart = at + cut;
                at += cut;
                piece.remove_prefix(cut);
                finder.restart();
            }
            from = to;
        }
        if (jobStart < bytes.size())
            sizes.push_back(bytes.size() - jobStart);
        return sizes;
    }

    // A raster image of 16 bytes by 40 rows whose data holds a cut's bytes twice.
    std::string RasterWithCutsInside()
    {
        std::string data(640, '\xAA');
        data.replace(100, 4, Bytes({ GS, 'V', 'A', 0 }));
        data.replace(300, 5, Bytes({ GS, 'V', 0, GS, 'V' }));
        return Bytes({ ESC, '@' }) + "before\n" + Bytes({ GS, 'v', '0', 0, 16, 0, 40, 0 }) + data
            + "after\n" + Bytes({ GS, 'V', 'A', 0 });
    }

    // An 8-dot column image whose columns hold a cut's bytes.
    std::string ColumnsWithCutInside()
    {
        return Bytes({ ESC, '*', 0, 8, 0 }) + Bytes({ GS, 'V', 'A', 0, GS, 'V', 'A', 0 }) + "\n";
    }

    struct Case {
        const char* what;
        Language language;
        std::string bytes;
        std::vector<std::size_t> jobs;
    };

    class CutFinderCase : public testing::TestWithParam<Case> { };

    TEST_P(CutFinderCase, SameJobsWhereverTheBytesAreSplit)
    {
        const Case& c = GetParam();
        EXPECT_EQ(JobSizes(c.language, c.bytes, {}), c.jobs) << "in one piece";
        for (std::size_t at = 1; at < c.bytes.size(); ++at)
            EXPECT_EQ(JobSizes(c.language, c.bytes, { at }), c.jobs) << "split at " << at;
        std::vector<std::size_t> everyByte;
        for (std::size_t at = 1; at < c.bytes.size(); ++at)
            everyByte.push_back(at);
        EXPECT_EQ(JobSizes(c.language, c.bytes, everyByte), c.jobs) << "a byte at a time";
    }

    const std::string kRaster = RasterWithCutsInside();

    INSTANTIATE_TEST_SUITE_P(Jobs, CutFinderCase,
        testing::Values(Case { "cut bytes inside a raster image", Language::EscPos, kRaster,
                            { kRaster.size() } },
            Case { "cut bytes inside column image data", Language::EscPos,
                ColumnsWithCutInside() + "x", { ColumnsWithCutInside().size() + 1 } },
            Case { "a cut with its feed byte, then the next job", Language::EscPos,
                "one" + Bytes({ GS, 'V', 'A', 16 }) + "two", { 7, 3 } },
            Case { "a cut without a feed byte", Language::EscPos,
                "one" + Bytes({ GS, 'V', 1 }) + "two", { 6, 3 } },
            Case { "a cut mode no printer has is no cut", Language::EscPos,
                "one" + Bytes({ GS, 'V', 0xAA }) + "two", { 9 } },
            Case { "ESC i and ESC m cut too", Language::EscPos,
                "a" + Bytes({ ESC, 'i' }) + "b" + Bytes({ ESC, 'm' }), { 3, 3 } },
            Case { "Star's cut", Language::StarLine, "one" + Bytes({ ESC, 'd', '2' }) + "two",
                { 6, 3 } },
            Case { "Star's cut in StarPRNT", Language::StarPrnt, "one" + Bytes({ ESC, 'd', 3 }),
                { 6 } },
            Case { "ESC d feeds lines in ESC/POS", Language::EscPos,
                "one" + Bytes({ ESC, 'd', '2' }) + "two", { 9 } },
            Case { "the command log's bare GS V", Language::CommandLog,
                "one" + Bytes({ GS, 'V' }) + "two", { 5, 3 } },
            Case { "Star raster ends where it is quit, not at its pages nor cut bytes in a line",
                Language::StarPrnt,
                "\x1b*rA"
                    + Bytes({ 'b', 6, 0, ESC, 'd', '2', ESC, 0x0C, 4, ESC, 0x0C, 0, ESC, 0x0C, 4 })
                    + "\x1b*rB" + Bytes({ ESC, 0x06, 1 }),
                { 23, 3 } }),
        [](const testing::TestParamInfo<Case>& info) { return test::TestName(info.param.what); });

} // namespace
} // namespace ostrel::receipt
