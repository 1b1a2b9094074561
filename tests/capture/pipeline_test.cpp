// The byte pipeline: raw capture, counters, data views and the command log,
// byte by byte. Expected lines are written out by hand from the printer's
// documented behaviour, not produced by the code under test.

#include "tests/capture/capture_fixture.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using Strings = std::vector<std::string>;

    TEST(StartUp, ViewsEmptyCaptionsZeroStateAtStartValues)
    {
        Capture c;
        EXPECT_TRUE(Lines(c.ascii).empty());
        EXPECT_TRUE(Lines(c.hex).empty());
        EXPECT_TRUE(Lines(c.log).empty());
        EXPECT_EQ(c.ascii.currentIndex(), -1);
        EXPECT_EQ(c.hex.currentIndex(), -1);
        EXPECT_EQ(c.log.currentIndex(), -1);
        EXPECT_EQ(c.byteCount.text(), "Bytes Received = 0");
        EXPECT_EQ(c.commandCount.text(), "Command Count = 0");
        EXPECT_EQ(c.state().rowColumn, 0);
        EXPECT_EQ(c.state().commandByteIndex, 1);
        EXPECT_EQ(c.state().paramBytesPending, 0);
        EXPECT_EQ(c.state().commandCount, 0);
        EXPECT_EQ(c.state().captureIndex, 1);
    }

    TEST(StartUp, EmptyChunkChangesNothing)
    {
        Capture c;
        const Snapshot before = Take(c);
        c.feed("");
        EXPECT_EQ(Take(c), before);
    }

    // The worked example: 1B 40 41 42 0A right after start-up, one byte at a time.
    struct WorkedStep {
        const char* byte;
        const char* byteCaption;
        const char* commandCaption;
        const char* hexLine;
        Strings log;
        int logCurrent;
        int commandByteIndex;
        int paramBytesPending;
    };

    const std::string kEscInit = Described("1B 40", "ESC: Initialize.");
    const std::string kLf = Described("0A", "LF.");

    TEST(WorkedExample, EachByteLeavesTheDocumentedViewsAndState)
    {
        const WorkedStep steps[] = {
            { "1B", "Bytes Received = 1", "Command Count = 1", "1B", { "1B" }, 0, 2, 1 },
            { "40", "Bytes Received = 2", "Command Count = 1", "1B 40", { kEscInit, " " }, 1, 3,
                0 },
            { "41", "Bytes Received = 3", "Command Count = 1", "1B 40 41", { kEscInit, " 41" }, 1,
                4, 0 },
            { "42", "Bytes Received = 4", "Command Count = 1", "1B 40 41 42",
                { kEscInit, " 41 42" }, 1, 5, 0 },
            { "0A", "Bytes Received = 5", "Command Count = 2", "1B 40 41 42 0A",
                { kEscInit, " 41 42", kLf, " " }, 3, 2, 0 },
        };
        Capture c;
        std::string received;
        for (const WorkedStep& step : steps) {
            SCOPED_TRACE(step.byte);
            c.feed(Bytes(step.byte));
            received += Bytes(step.byte);
            EXPECT_EQ(c.byteCount.text(), step.byteCaption);
            EXPECT_EQ(c.commandCount.text(), step.commandCaption);
            EXPECT_EQ(Lines(c.ascii), Strings { received });
            EXPECT_EQ(Lines(c.hex), Strings { step.hexLine });
            EXPECT_EQ(Lines(c.log), step.log);
            EXPECT_EQ(c.log.currentIndex(), step.logCurrent);
            EXPECT_EQ(c.state().commandByteIndex, step.commandByteIndex);
            EXPECT_EQ(c.state().paramBytesPending, step.paramBytesPending);
        }
        EXPECT_EQ(c.state().rowColumn, 5);
        EXPECT_EQ(c.state().captureIndex, 6);
        EXPECT_EQ(c.state().commandBytes[1], 10);
        EXPECT_EQ(c.state().commandBytes[2], 64) << "older bytes stay above the index";
        EXPECT_EQ(
            std::string(c.state().captureBuffer.begin() + 1, c.state().captureBuffer.begin() + 6),
            Bytes("1B 40 41 42 0A"));
        EXPECT_EQ(kEscInit.size(), 65u);
        EXPECT_EQ(kEscInit[48], '>');
    }

    TEST(WorkedExample, OneChunkGivesTheSameAsByteByByte)
    {
        Capture whole, bytewise;
        whole.feed(Bytes("1B 40 41 42 0A"));
        bytewise.feedBytewise(Bytes("1B 40 41 42 0A"));
        EXPECT_EQ(Take(whole), Take(bytewise));
        EXPECT_EQ(Lines(whole.log), (Strings { kEscInit, " 41 42", kLf, " " }));
    }

    // Streams fed right after start-up and the command log they must leave.
    struct LogCase {
        const char* name;
        std::string bytes;
        Strings log;
        int commandCount;
    };

    class CommandLogShape : public ::testing::TestWithParam<LogCase> { };

    TEST_P(CommandLogShape, LeavesTheseLines)
    {
        Capture c;
        c.feed(GetParam().bytes);
        EXPECT_EQ(Lines(c.log), GetParam().log);
        EXPECT_EQ(c.log.currentIndex(), c.log.lineCount() - 1);
        EXPECT_EQ(c.state().commandCount, GetParam().commandCount);
    }

    const std::string kSixteenAtoP = " 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50";

    INSTANTIATE_TEST_SUITE_P(Pipeline, CommandLogShape,
        ::testing::Values(LogCase { "DataRowsDoNotBreakLogLines", "ABCDEFGHI",
                              { " 41 42 43 44 45 46 47 48 49" }, 0 },
            LogCase {
                "SixteenthByteClosesADataLine", "ABCDEFGHIJKLMNOPQ", { kSixteenAtoP, " 51" }, 0 },
            LogCase {
                "ExactlySixteenLeaveAFreshLine", "ABCDEFGHIJKLMNOP", { kSixteenAtoP, " " }, 0 },
            LogCase { "ParameterOnAFreshLine", Bytes("1B 21 08"),
                { Described("1B 21", "ESC: Set Print Mode."), " 08", " " }, 1 },
            LogCase { "PrefixTakesAnyByteAsSecond", Bytes("1B 0A"),
                { Described("1B 0A", "ESC: ."), " " }, 1 },
            LogCase { "CommandStartInsideParametersIsData", Bytes("1B 21 1B 41"),
                { Described("1B 21", "ESC: Set Print Mode."), " 1B", " 41" }, 1 },
            LogCase { "CommandAfterDataGetsItsOwnLine", Bytes("41 0D 42"),
                { " 41", Described("0D", "CR."), " 42" }, 1 },
            LogCase { "LastCountedByteAlsoSixteenthClosesTwice",
                Bytes("1F 2A 00 10") + "ABCDEFGHIJKLMNOP",
                { Described("1F 2A", "US:  Bit Image."), " 00 10", kSixteenAtoP, " ", " " }, 1 },
            LogCase { "SingleControlBytesEachOnTheirLine", Bytes("07 09 0A 0C 0D"),
                { Described("07", "Bell."), Described("09", "Tab."), Described("0A", "LF."),
                    Described("0C", "Form Feed."), Described("0D", "CR."), " " },
                5 }),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(Pipeline, PrefixAtTheEndOfAChunkIsCompletedByTheNext)
    {
        Capture c;
        c.feed(Bytes("41 1B"));
        c.feed(Bytes("40 42"));
        EXPECT_EQ(Lines(c.log), (Strings { " 41", kEscInit, " 42" }));
    }

    TEST(Pipeline, NoDescriberLeavesCommandLinesBareAndPrefixesTakeOneByte)
    {
        Capture c(/*describe=*/false);
        c.feed(Bytes("1B 21 08 0A"));
        // Without descriptions the framing rules still apply: "!" takes one byte.
        EXPECT_EQ(Lines(c.log), (Strings { "1B 21", " 08", "0A", " " }));
    }

    TEST(UserSelection, RestOfTheRowGoesToTheSelectedLine)
    {
        Capture c;
        c.feed("ABCDEFGH"
               "IJ");
        c.ascii.setCurrentIndex(0);
        c.hex.setCurrentIndex(0);
        c.log.addLine("picked");
        c.log.setCurrentIndex(c.log.lineCount() - 1);
        c.feed("K");
        EXPECT_EQ(Lines(c.ascii), (Strings { "ABCDEFGHK", "IJ" }));
        EXPECT_EQ(Lines(c.hex), (Strings { "41 42 43 44 45 46 47 48 4B", "49 4A" }));
        EXPECT_EQ(c.log.line(1), "picked 4B");
        c.feed("LMNOPQ");
        EXPECT_EQ(Lines(c.ascii), (Strings { "ABCDEFGHKLMNOP", "IJ", "Q" }))
            << "a new row goes last";
    }

    TEST(ClearAll, EmptiesViewsResetsOnlyTheCaptureIndex)
    {
        Capture c;
        c.feed("ABCDEFGHIJKLMNOPQRST");
        const CaptureState before = c.state();
        c.session.ClearAll();
        EXPECT_TRUE(Lines(c.ascii).empty());
        EXPECT_TRUE(Lines(c.hex).empty());
        EXPECT_TRUE(Lines(c.log).empty());
        EXPECT_EQ(c.log.currentIndex(), -1);
        EXPECT_EQ(c.state().captureIndex, 1);
        EXPECT_EQ(c.state().rowColumn, before.rowColumn);
        EXPECT_EQ(c.state().commandByteIndex, before.commandByteIndex);
        EXPECT_EQ(c.byteCount.text(), "Bytes Received = 20") << "kept until the next byte";
        c.feed("abcde");
        EXPECT_EQ(c.byteCount.text(), "Bytes Received = 5");
        EXPECT_EQ(
            std::string(c.state().captureBuffer.begin() + 1, c.state().captureBuffer.begin() + 21),
            "abcdeFGHIJKLMNOPQRST")
            << "Clear All does not erase the buffer";
    }

    TEST(ClearAll, MidRowBytesTakeAFreshLine)
    {
        Capture c;
        c.feed("ABC"); // rowColumn 3
        c.session.ClearAll();
        c.feed("DEFGH"); // the rest of that row: no current line anywhere
        EXPECT_EQ(Lines(c.ascii), Strings { "DEFGH" });
        EXPECT_EQ(Lines(c.hex), Strings { "44 45 46 47 48" });
        EXPECT_EQ(Lines(c.log), Strings { " 44 45 46 47 48" });
        EXPECT_EQ(c.byteCount.text(), "Bytes Received = 5");
        c.feed("IJ");
        EXPECT_EQ(Lines(c.ascii), (Strings { "DEFGH", "IJ" }));
        EXPECT_EQ(Lines(c.hex), (Strings { "44 45 46 47 48", "49 4A" }));
        EXPECT_EQ(Lines(c.log), Strings { " 44 45 46 47 48 49 4A" });
    }

    TEST(ClearAll, MidCommandTheFramingCarriesOn)
    {
        Capture c;
        c.feed(Bytes("1B 21")); // one parameter byte pending
        c.session.ClearAll();
        c.feed(Bytes("0A 0A"));
        // The first LF is ESC "!"'s parameter: it ends the command, which opens a
        // fresh line in the emptied log. The second LF is a command of its own.
        EXPECT_EQ(c.state().commandCount, 2);
        EXPECT_EQ(c.commandCount.text(), "Command Count = 2");
        EXPECT_EQ(Lines(c.log), (Strings { " 0A", kLf, " " }));
    }

    TEST(ClearAll, ACommandMidRowIsListedOnAFreshLine)
    {
        Capture c;
        c.feed("A");
        c.session.ClearAll();
        c.feed(Bytes("0A"));
        EXPECT_EQ(Lines(c.log), (Strings { kLf, " " }));
        EXPECT_EQ(c.log.currentIndex(), 1);
    }

} // namespace
} // namespace ostrel::test
