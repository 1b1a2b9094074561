// What each command's line reads once described.

#include "printer/command_descriptions.h"
#include "tests/capture/capture_fixture.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    struct DescriptionCase {
        std::string bytes;
        std::string line; // the whole annotated line
    };

    class DescribedLine : public ::testing::TestWithParam<DescriptionCase> { };

    TEST_P(DescribedLine, ReadsExactly)
    {
        Capture c;
        c.feed(GetParam().bytes);
        EXPECT_EQ(c.log.line(0), GetParam().line);
    }

    std::string Blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

    INSTANTIATE_TEST_SUITE_P(Printer, DescribedLine,
        ::testing::Values(DescriptionCase { Bytes("0A"), "0A" + Blanks(46) + ">LF." },
            DescriptionCase { Bytes("07"), "07" + Blanks(46) + ">Bell." },
            DescriptionCase { Bytes("09"), "09" + Blanks(46) + ">Tab." },
            DescriptionCase { Bytes("0C"), "0C" + Blanks(46) + ">Form Feed." },
            DescriptionCase { Bytes("0D"), "0D" + Blanks(46) + ">CR." },
            DescriptionCase { Bytes("1B 21 00"), "1B 21" + Blanks(43) + ">ESC: Set Print Mode." },
            DescriptionCase { Bytes("1B 21 FF"), "1B 21" + Blanks(43) + ">ESC: Set Print Mode." },
            DescriptionCase { Bytes("1B 1E"), "1B 1E" + Blanks(43) + ">ESC: Reverse Video ON." },
            DescriptionCase { Bytes("1B 5A"), "1B 5A" + Blanks(43) + ">ESC: ." },
            DescriptionCase {
                Bytes("1B 52 00"), "1B 52" + Blanks(43) + ">ESC: Select International Char Set." },
            DescriptionCase {
                Bytes("1B 32"), "1B 32" + Blanks(43) + ">ESC: Set 1/16 line spacing." },
            DescriptionCase {
                Bytes("1B 4B"), "1B 4B" + Blanks(43) + ">ESC: Feed Reverse n dot lines." },
            DescriptionCase { Bytes("1D 0C"), "1D 0C" + Blanks(43) + ">GS:  Feed to TOF." },
            DescriptionCase { Bytes("1D 56"), "1D 56" + Blanks(43) + ">GS:  Paper Cut." },
            DescriptionCase {
                Bytes("1D 77 02"), "1D 77" + Blanks(43) + ">GS:  Barcode Magnification." },
            DescriptionCase { Bytes("1F 78 00 00"),
                "1F 78" + Blanks(43) + ">US:  Set Horizontal Print Position" },
            DescriptionCase {
                Bytes("1F 79 00 00"), "1F 79" + Blanks(43) + ">US:  Set Vertical Print Position" },
            DescriptionCase {
                Bytes("1F 41"), "1F 41" + Blanks(43) + ">US:  Set Horizontal Print Position." },
            DescriptionCase { Bytes("1F 53 00"),
                "1F 53" + Blanks(43) + ">US:  IEEE-1284 Status Disable/Enable." },
            DescriptionCase { Bytes("1F 71"), "1F 71" + Blanks(43) + ">US:  ." },
            DescriptionCase { Bytes("10 52"), "10 52" + Blanks(43) + ">DLE: Status Request." },
            DescriptionCase { Bytes("10 04"), "10 04" + Blanks(43) + ">DLE: ." }));

    TEST(Annotation, PadsTo48ThenMarker)
    {
        struct Row {
            std::size_t length;
            std::size_t markerAt; // 1-based position of ">"
        };
        for (const Row row :
            { Row { 0, 49 }, Row { 5, 49 }, Row { 47, 49 }, Row { 48, 49 }, Row { 60, 61 } }) {
            const std::string line(row.length, 'x');
            const std::string annotated = AnnotatedLine(line, "D.");
            EXPECT_EQ(annotated.find('>') + 1, row.markerAt) << row.length;
            EXPECT_EQ(annotated.substr(0, row.length), line);
            EXPECT_EQ(annotated.substr(row.markerAt), "D.");
        }
    }

    TEST(Annotation, EveryFamilyStartsItsTextInTheSameColumn)
    {
        for (int first : { 16, 27, 29, 31 })
            EXPECT_EQ(CommandDescription(first, 0).size(), 6u) << first << " gives prefix + \".\"";
        EXPECT_EQ(CommandDescription(65, 65), ".") << "no prefix for bytes that start no command";
    }

    TEST(Annotation, CommandAfterSelectingADescribedLineOpensItsOwnLine)
    {
        // The user may point the framer at a described line; a command line then
        // opens below it rather than rewriting it.
        Capture c;
        c.feed(Bytes("0A"));
        c.log.setCurrentIndex(0);
        c.feed(Bytes("0D"));
        EXPECT_EQ(c.log.line(0), Described("0A", "LF."));
        EXPECT_EQ(c.log.line(2), Described("0D", "CR."));
    }

} // namespace
} // namespace ostrel::test
