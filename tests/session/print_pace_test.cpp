// A printer in time, run on a clock of the test's own: the paper as a
// timeline, the answers that wait on printing, the buffer and the roll.

#include "receipt/print_timeline.h"
#include "session/print_pace.h"
#include "tests/receipt/job_bytes.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    constexpr long long kSecond = 1'000'000;

    // At 1000 dots a second, 1 dot a millisecond.
    TEST(PrintTimeline, PrintsInOrderAtItsSpeedAndStopsWhereTheRollEnds)
    {
        receipt::PrintTimeline paper(1000);
        paper.loadRoll(500, 0);
        paper.needs(10, 0); // printed at once: no paper before it
        paper.needs(20, 300); // after 300 dots
        paper.needs(30, 300);
        paper.needs(40, 800); // past the roll
        EXPECT_EQ(paper.printed(), 10);
        EXPECT_EQ(paper.fedAt(300), 300'000);
        EXPECT_EQ(paper.fedAt(800), -1) << "the roll ends first";
        paper.runTo(299'999);
        EXPECT_EQ(paper.printed(), 10);
        paper.runTo(300'000);
        EXPECT_EQ(paper.printed(), 30);
        paper.halt(true, 350'000);
        paper.runTo(2 * kSecond);
        EXPECT_EQ(paper.fed(), 350) << "nothing feeds while stopped";
        paper.halt(false, 2 * kSecond);
        paper.runTo(3 * kSecond);
        EXPECT_EQ(paper.fed(), 500);
        EXPECT_TRUE(paper.ranOut());
        EXPECT_FALSE(paper.printing());
        EXPECT_EQ(paper.waiting(), 10);
        paper.loadRoll(500, 3 * kSecond);
        EXPECT_EQ(paper.fedAt(800), 3 * kSecond + 300'000);
        paper.runTo(3 * kSecond + 300'000);
        EXPECT_EQ(paper.printed(), 40);
        EXPECT_EQ(paper.rollLeft(), 200);
    }

    TEST(PrintTimeline, AtNoSpeedPrintsAtOnceUpToTheRollsEnd)
    {
        receipt::PrintTimeline paper(0);
        paper.loadRoll(100, 0);
        paper.needs(5, 60);
        paper.needs(9, 160);
        paper.runTo(0); // with no time passed
        EXPECT_EQ(paper.printed(), 5);
        EXPECT_TRUE(paper.ranOut());
    }

    // Whatever comes and however time is cut, the timeline never prints what
    // did not come, never goes back, never passes the roll's end, and its
    // forecast of when paper is fed agrees with its running.
    TEST(PrintTimeline, InvariantsOverRandomNeedsAndTimes)
    {
        std::uint32_t seed = 12345;
        const auto next = [&seed](int below) {
            seed = seed * 1664525u + 1013904223u;
            return static_cast<long long>((seed >> 8) % static_cast<std::uint32_t>(below));
        };
        for (int run = 0; run < 200; ++run) {
            receipt::PrintTimeline paper(static_cast<double>(1 + next(4000)));
            paper.loadRoll(next(2) ? -1 : 100 + next(5000), 0);
            long long bytes = 0, dots = 0, now = 0, printed = 0, fed = 0;
            for (int step = 0; step < 50; ++step) {
                bytes += 1 + next(100);
                dots += next(3) ? next(300) : 0;
                paper.needs(bytes, dots);
                const long long target = paper.fed() + 1 + next(400);
                const long long forecast = paper.fedAt(target);
                if (forecast > now) {
                    paper.runTo(forecast - 1);
                    EXPECT_LE(paper.fed(), target);
                    paper.runTo(forecast);
                    EXPECT_GE(paper.fed(), std::min(target, dots));
                }
                now = std::max(now, forecast) + next(100'000);
                paper.runTo(now);
                if (next(10) == 0)
                    paper.loadRoll(100 + next(5000), now);
                EXPECT_LE(paper.printed(), paper.received());
                EXPECT_GE(paper.printed(), printed);
                EXPECT_GE(paper.fed(), fed);
                EXPECT_LE(paper.fed(), dots);
                EXPECT_TRUE(paper.rollLeft() != 0 || !paper.printing());
                printed = paper.printed();
                fed = paper.fed();
            }
        }
    }

    // A cut counts as printed only once printing reaches it, though it was
    // received long before; the bytes of a command not yet whole wait.
    TEST(PrintPace, CountsReceiptsAsTheyPrintAndHoldsACommandNotYetWhole)
    {
        PrintPace pace({ .mmPerSecond = 100 }, receipt::GenericProfile());
        const std::string receipt
            = "x\n" + Bytes({ ESC, 'J', 200, GS, 'V', 0 }); // 25 mm and a line, then a cut
        pace.take(
            receipt + receipt + Bytes({ ESC, 'J' }), this, [](const RealTimeRequest&) {}, 0);
        EXPECT_EQ(pace.receiptsReceived(), 2);
        EXPECT_EQ(pace.receiptsPrinted(), 0);
        pace.runTo(kSecond);
        EXPECT_EQ(pace.receiptsPrinted(), 2);
        EXPECT_EQ(pace.waiting(), 2) << "ESC J without its count";
        pace.take(
            Bytes({ 0 }), this, [](const RealTimeRequest&) {}, kSecond);
        EXPECT_EQ(pace.waiting(), 0);
    }

    // 200 mm fed, then GS r 1: at 100 mm/s the answer comes 2 s in, however
    // the job was cut into chunks; DLE EOT is no concern of the pace.
    TEST(PrintPace, AnswersGsRWhenThePaperBeforeItHasPrintedAtEveryChunking)
    {
        std::string job = Bytes({ ESC, '@' });
        for (int i = 0; i < 8; ++i)
            job += Bytes({ ESC, 'J', 200 }); // 1600 dots, 200 mm
        job += Bytes({ GS, 'r', 1 }) + "after\n";
        for (std::size_t cut = 0; cut <= job.size(); ++cut) {
            SCOPED_TRACE(cut);
            PrintPace pace({ .mmPerSecond = 100 }, receipt::GenericProfile());
            std::vector<int> answered;
            const auto answer
                = [&](const RealTimeRequest& request) { answered.push_back(request.n); };
            pace.take(std::string_view(job).substr(0, cut), this, answer, 0);
            pace.take(std::string_view(job).substr(cut), this, answer, 0);
            EXPECT_EQ(pace.nextUs() >= 0, true);
            pace.runTo(2 * kSecond - 1000);
            EXPECT_TRUE(answered.empty());
            pace.runTo(2 * kSecond);
            ASSERT_EQ(answered.size(), 1u);
            EXPECT_EQ(answered[0], 1);
        }
    }

    TEST(PrintPace, StarsEtbWaitsForPrintingAndAForgottenJobIsNotAnswered)
    {
        const std::string job
            = Bytes({ ESC, 'a', 100 }) + Bytes({ 0x17 }); // 100 lines fed, then ETB
        PrintPace pace({ .mmPerSecond = 50 }, *receipt::FindPrinterProfile("star-tsp650ii-line"));
        int answered = 0;
        pace.take(
            job, this,
            [&](const RealTimeRequest& r) { answered += r.kind == RealTimeRequest::Kind::StarEtb; },
            0);
        pace.runTo(10'000);
        EXPECT_EQ(answered, 0);
        pace.runTo(100 * kSecond);
        EXPECT_EQ(answered, 1);
        pace.take(
            job, &answered, [&](const RealTimeRequest&) { ++answered; }, 100 * kSecond);
        pace.forget(&answered);
        pace.runTo(200 * kSecond);
        EXPECT_EQ(answered, 1);
    }

    // A text job fills the buffer; the buffer drains as lines print; the roll
    // runs out in the middle, and a new one lets the rest print.
    TEST(PrintPace, TheBufferFillsAndTheRollRunsOutMidJob)
    {
        std::string line(47, 'x');
        line += "\n";
        std::string job;
        for (int i = 0; i < 200; ++i)
            job += line;
        PrintPace pace(
            { .mmPerSecond = 100, .buffer = 4096, .rollMetres = 0.5, .nearEndMetres = 0.05 },
            receipt::GenericProfile());
        int answered = 0; // GS r at the end, answered only once all has printed
        pace.take(
            Bytes({ GS, 'r', 1 }), &answered, [&](const RealTimeRequest&) { ++answered; }, 0);
        std::vector<std::string> said;
        pace.changed = [&](const std::string& what) { said.push_back(what); };
        pace.take(
            job + Bytes({ GS, 'r', 1 }), this, [&](const RealTimeRequest&) { ++answered; }, 0);
        EXPECT_TRUE(pace.full());
        EXPECT_EQ(answered, 1) << "the first GS r, with no paper before it";
        long long t = 0;
        while (pace.nextUs() >= 0 && t < 100 * kSecond)
            pace.runTo(t = pace.nextUs());
        EXPECT_TRUE(pace.paperOut());
        EXPECT_TRUE(pace.nearEnd());
        EXPECT_NEAR(pace.fedMillimetres(), 500, 0.2);
        EXPECT_GT(pace.waiting(), 0);
        EXPECT_LT(pace.waiting(), static_cast<long long>(job.size()));
        ASSERT_EQ(said.size(), 2u);
        EXPECT_EQ(said[0].rfind("paper near end", 0), 0u);
        EXPECT_EQ(said[1].rfind("paper out: the roll ran out after 0.500 m", 0), 0u) << said[1];
        pace.loadPaper(t);
        while (pace.nextUs() >= 0 && t < 200 * kSecond)
            pace.runTo(t = pace.nextUs());
        EXPECT_EQ(pace.waiting(), 0);
        EXPECT_EQ(answered, 2);
        EXPECT_TRUE(pace.roomAgain());
        EXPECT_FALSE(pace.paperOut());
    }

} // namespace
} // namespace ostrel::test
