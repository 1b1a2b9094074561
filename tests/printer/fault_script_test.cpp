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
        ASSERT_TRUE(ParseFaultScript(
            "# faults\nafter receipt 3: paper-out\nafter 2 s: cover-open\n\n"
            "after 500 mm: paper-near-end\nafter 40000 bytes: offline\nat 1 s: clear\n",
            lines, error))
            << error;
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[0].number, 2);
        FaultScript script(lines);
        using C = FaultScript::Counts;
        EXPECT_FALSE(script.due(C { 9, 2, 0, 0 }));
        EXPECT_TRUE(script.due(C { 9, 3, 0, 0 })->state.paperOut);
        EXPECT_FALSE(script.due(C { 10.9, 3, 0, 0 })) << "2 s from the line before";
        EXPECT_TRUE(script.due(C { 11, 3, 0, 0 })->state.coverOpen);
        EXPECT_FALSE(script.due(C { 11, 3, 499, 0 }));
        EXPECT_TRUE(script.due(C { 11, 3, 500, 10 })->state.paperNearEnd);
        EXPECT_TRUE(script.due(C { 11, 3, 500, 40010 })->state.offline);
        const auto last = script.due(C { 11, 3, 500, 40010 });
        ASSERT_TRUE(last) << "\"at\" counts from the start";
        EXPECT_EQ(last->state, PrinterState {});
        EXPECT_TRUE(script.done());
    }

    // Each unit read into the count it is compared with.
    TEST(FaultScript, EachUnitAsItCounts)
    {
        using U = FaultLine::Unit;
        const struct {
            const char* line;
            U unit;
            double amount;
            bool fromStart;
        } rows[] = {
            { "after 2 s: offline", U::Seconds, 2, false },
            { "at 1500 ms: offline", U::Seconds, 1.5, true },
            { "after 0.5 m: paper-near-end", U::Millimetres, 500, false },
            { "after 120 mm: paper-out  # a comment", U::Millimetres, 120, false },
            { "after 3 receipts: paper-out", U::Receipts, 3, false },
            { "at receipt 1: cover-open,offline", U::Receipts, 1, true },
            { "after 4096 bytes: offline", U::Bytes, 4096, false },
            { "after 2.7 bytes: offline", U::Bytes, 2, false },
        };
        for (const auto& row : rows) {
            std::vector<FaultLine> lines;
            std::string error;
            ASSERT_TRUE(ParseFaultScript(row.line, lines, error)) << row.line << ": " << error;
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].unit, row.unit) << row.line;
            EXPECT_DOUBLE_EQ(lines[0].amount, row.amount) << row.line;
            EXPECT_EQ(lines[0].fromStart, row.fromStart) << row.line;
        }
    }

    TEST(FaultScript, ABadLineIsNamedWithTheReason)
    {
        const struct {
            const char* text;
            const char* says;
        } rows[] = {
            { "after 2 parsecs: offline",
                "line 1: \"after 2 parsecs: offline\": \"parsecs\" is not one of the units" },
            { "\nafter 2 s offline", "line 2: " },
            { "after -1 s: offline", "\"-1\" is not a number of 0 or more" },
            { "after 2 s:", "no state after the colon" },
            { "after 2 s: paper-gone", "the state: " },
            { "when 2 s: offline", "a line begins with \"after\"" },
            { "after receipt x: offline", "\"x\" is not a number" },
            { "after 2: offline", "a trigger is a number and a unit" },
            { "after 1 s: offline\nafter 2 s",
                "line 2: \"after 2 s\": a line is a trigger, a colon and a state" },
            { "after nan s: offline", "\"nan\" is not a number of 0 or more" },
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
