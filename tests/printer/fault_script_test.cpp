// Faults on a schedule: every line of the example runs in order, and a bad
// line is refused with its number and the reason.

#include "printer/fault_script.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

TEST(FaultScript, TheLinesRunInTurnEachCountedFromTheOneBefore)
{
    std::vector<FaultLine> lines;
    std::string error;
    ASSERT_TRUE(ParseFaultScript("# faults\nafter receipt 3: paper-out\nafter 2 s: cover-open\n\n"
                                 "after 500 mm: paper-near-end\nafter 40000 bytes: offline\nat 1 s: clear\n",
                                 lines, error)) << error;
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].number, 2);
    FaultScript script(lines);
    using C = FaultScript::Counts;
    EXPECT_FALSE(script.due(C{9, 2, 0, 0}));
    EXPECT_TRUE(script.due(C{9, 3, 0, 0})->state.paperOut);
    EXPECT_FALSE(script.due(C{10.9, 3, 0, 0})) << "2 s from the line before";
    EXPECT_TRUE(script.due(C{11, 3, 0, 0})->state.coverOpen);
    EXPECT_FALSE(script.due(C{11, 3, 499, 0}));
    EXPECT_TRUE(script.due(C{11, 3, 500, 10})->state.paperNearEnd);
    EXPECT_TRUE(script.due(C{11, 3, 500, 40010})->state.offline);
    const auto last = script.due(C{11, 3, 500, 40010});
    ASSERT_TRUE(last) << "\"at\" counts from the start";
    EXPECT_EQ(last->state, PrinterState{});
    EXPECT_TRUE(script.done());
}

TEST(FaultScript, ABadLineIsNamedWithTheReason)
{
    const struct {
        const char* text;
        const char* says;
    } rows[] = {
        {"after 2 parsecs: offline", "line 1: \"after 2 parsecs: offline\": \"parsecs\" is not one of the units"},
        {"\nafter 2 s offline", "line 2: "},
        {"after -1 s: offline", "\"-1\" is not a number of 0 or more"},
        {"after 2 s:", "no state after the colon"},
        {"after 2 s: paper-gone", "the state: "},
        {"when 2 s: offline", "a line begins with \"after\""},
        {"after receipt x: offline", "\"x\" is not a number"},
        {"after 2: offline", "a trigger is a number and a unit"},
    };
    for (const auto& row : rows) {
        std::vector<FaultLine> lines;
        std::string error;
        EXPECT_FALSE(ParseFaultScript(row.text, lines, error)) << row.text;
        EXPECT_NE(error.find(row.says), std::string::npos) << error;
    }
}

} // namespace
} // namespace ostrel::test
