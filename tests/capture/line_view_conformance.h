#pragma once

// One suite for every implementation of LineView: instantiate it with
// INSTANTIATE_TYPED_TEST_SUITE_P(Name, LineViewConformance, Types) where each
// type is default-constructible and derives from LineView.

#include "capture/line_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel::test {

template <typename View> class LineViewConformance : public ::testing::Test {
protected:
    View view;
    void fill(std::initializer_list<const char*> lines)
    {
        for (const char* text : lines)
            view.addLine(text);
    }
};

TYPED_TEST_SUITE_P(LineViewConformance);

TYPED_TEST_P(LineViewConformance, StartsEmptyWithNoCurrentLine)
{
    EXPECT_EQ(this->view.lineCount(), 0);
    EXPECT_EQ(this->view.currentIndex(), -1);
}

TYPED_TEST_P(LineViewConformance, KeepsLinesInTheOrderAdded)
{
    this->fill({ "b", "a", "c" });
    ASSERT_EQ(this->view.lineCount(), 3);
    EXPECT_EQ(this->view.line(0), "b");
    EXPECT_EQ(this->view.line(1), "a");
    EXPECT_EQ(this->view.line(2), "c");
    EXPECT_EQ(this->view.currentIndex(), -1) << "adding a line does not select it";
}

TYPED_TEST_P(LineViewConformance, RemoveMovesLaterLinesUp)
{
    this->fill({ "0", "1", "2", "3" });
    this->view.removeLine(1);
    ASSERT_EQ(this->view.lineCount(), 3);
    EXPECT_EQ(this->view.line(0), "0");
    EXPECT_EQ(this->view.line(1), "2");
    EXPECT_EQ(this->view.line(2), "3");
}

TYPED_TEST_P(LineViewConformance, ReplaceAndAppendChangeOnlyThatLine)
{
    this->fill({ "x", "y" });
    this->view.replaceLine(0, "1B 40");
    this->view.appendToLine(1, " 41");
    this->view.appendToLine(1, std::string("\0\xff", 2));
    EXPECT_EQ(this->view.line(0), "1B 40");
    EXPECT_EQ(this->view.line(1), std::string("y 41\0\xff", 6)) << "every byte value is kept";
}

TYPED_TEST_P(LineViewConformance, CurrentIndexFollowsSetAndClear)
{
    this->fill({ "a", "b" });
    this->view.setCurrentIndex(1);
    EXPECT_EQ(this->view.currentIndex(), 1);
    this->view.setCurrentIndex(0);
    EXPECT_EQ(this->view.currentIndex(), 0);
    this->view.clear();
    EXPECT_EQ(this->view.lineCount(), 0);
    EXPECT_EQ(this->view.currentIndex(), -1);
}

TYPED_TEST_P(LineViewConformance, MissingLinesReadEmptyAndIgnoreWrites)
{
    EXPECT_EQ(this->view.line(-1), "");
    EXPECT_EQ(this->view.line(0), "");
    this->view.replaceLine(-1, "lost");
    this->view.appendToLine(-1, "lost");
    this->view.replaceLine(0, "lost");
    this->view.removeLine(0);
    EXPECT_EQ(this->view.lineCount(), 0);
    this->fill({ "kept" });
    this->view.replaceLine(1, "lost");
    this->view.appendToLine(5, "lost");
    EXPECT_EQ(this->view.lineCount(), 1);
    EXPECT_EQ(this->view.line(0), "kept");
}

// Capped the way the engine caps a view (line 1 goes for every line added), for
// long enough that any storage has wrapped round, then any one line removed:
// the others keep their order, checked against a plain list.
TYPED_TEST_P(LineViewConformance, AnyLineRemovesCleanlyAfterALongCappedRun)
{
    for (const int lines : { 1, 2, 3, 7, 40 }) {
        for (int removed = 0; removed < lines; ++removed) {
            TypeParam view;
            std::vector<std::string> expected;
            for (int i = 0; i < 3 * lines + 37; ++i) {
                const std::string text = "line " + std::to_string(i);
                view.addLine(text);
                expected.push_back(text);
                if (view.lineCount() > lines) {
                    view.removeLine(1);
                    expected.erase(expected.begin() + 1);
                }
            }
            view.setCurrentIndex(lines - 1);
            view.removeLine(removed);
            expected.erase(expected.begin() + removed);
            view.addLine("after");
            expected.push_back("after");
            ASSERT_EQ(view.lineCount(), static_cast<int>(expected.size()));
            for (int i = 0; i < view.lineCount(); ++i)
                ASSERT_EQ(view.line(i), expected[static_cast<std::size_t>(i)])
                    << lines << " lines, line " << removed << " removed, line " << i;
            EXPECT_EQ(view.currentIndex(), lines - 2) << "the last line was current, and one went";
        }
    }
}

// Adding a current line past the cap drops line 1 and keeps line 0, however
// full the view was before, and leaves the new last line current.
TYPED_TEST_P(LineViewConformance, AddingACurrentLineKeepsTheFirstAndDropsLineOne)
{
    for (const int most : { 1, 2, 3, 7 }) {
        for (const int before : { 0, most, most + 2 }) {
            TypeParam view;
            std::vector<std::string> expected;
            for (int i = 0; i < before; ++i) {
                view.addLine("before " + std::to_string(i));
                expected.push_back("before " + std::to_string(i));
            }
            for (int i = 0; i < 3 * most + 5; ++i) {
                const std::string text = "line " + std::to_string(i);
                view.addCurrentLine(text, most);
                expected.push_back(text);
                if (static_cast<int>(expected.size()) > most)
                    expected.erase(expected.begin() + 1);
                ASSERT_EQ(view.lineCount(), static_cast<int>(expected.size()));
                ASSERT_EQ(view.currentIndex(), view.lineCount() - 1);
                for (int k = 0; k < view.lineCount(); ++k)
                    ASSERT_EQ(view.line(k), expected[static_cast<std::size_t>(k)])
                        << "at most " << most << ", " << before << " before, after " << i
                        << ", line " << k;
            }
        }
    }
}

REGISTER_TYPED_TEST_SUITE_P(LineViewConformance, StartsEmptyWithNoCurrentLine,
    KeepsLinesInTheOrderAdded, RemoveMovesLaterLinesUp, ReplaceAndAppendChangeOnlyThatLine,
    CurrentIndexFollowsSetAndClear, MissingLinesReadEmptyAndIgnoreWrites,
    AnyLineRemovesCleanlyAfterALongCappedRun, AddingACurrentLineKeepsTheFirstAndDropsLineOne);

} // namespace ostrel::test
