#pragma once

// One suite for every implementation of LineView: instantiate it with
// INSTANTIATE_TYPED_TEST_SUITE_P(Name, LineViewConformance, Types) where each
// type is default-constructible and derives from LineView.

#include "capture/line_view.h"

#include <gtest/gtest.h>

namespace ostrel::test {

template <typename View>
class LineViewConformance : public ::testing::Test {
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
    this->fill({"b", "a", "c"});
    ASSERT_EQ(this->view.lineCount(), 3);
    EXPECT_EQ(this->view.line(0), "b");
    EXPECT_EQ(this->view.line(1), "a");
    EXPECT_EQ(this->view.line(2), "c");
    EXPECT_EQ(this->view.currentIndex(), -1) << "adding a line does not select it";
}

TYPED_TEST_P(LineViewConformance, RemoveMovesLaterLinesUp)
{
    this->fill({"0", "1", "2", "3"});
    this->view.removeLine(1);
    ASSERT_EQ(this->view.lineCount(), 3);
    EXPECT_EQ(this->view.line(0), "0");
    EXPECT_EQ(this->view.line(1), "2");
    EXPECT_EQ(this->view.line(2), "3");
}

TYPED_TEST_P(LineViewConformance, ReplaceAndAppendChangeOnlyThatLine)
{
    this->fill({"x", "y"});
    this->view.replaceLine(0, "1B 40");
    this->view.appendToLine(1, " 41");
    this->view.appendToLine(1, std::string("\0\xff", 2));
    EXPECT_EQ(this->view.line(0), "1B 40");
    EXPECT_EQ(this->view.line(1), std::string("y 41\0\xff", 6)) << "every byte value is kept";
}

TYPED_TEST_P(LineViewConformance, CurrentIndexFollowsSetAndClear)
{
    this->fill({"a", "b"});
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
    this->fill({"kept"});
    this->view.replaceLine(1, "lost");
    this->view.appendToLine(5, "lost");
    EXPECT_EQ(this->view.lineCount(), 1);
    EXPECT_EQ(this->view.line(0), "kept");
}

REGISTER_TYPED_TEST_SUITE_P(LineViewConformance, StartsEmptyWithNoCurrentLine,
                            KeepsLinesInTheOrderAdded, RemoveMovesLaterLinesUp,
                            ReplaceAndAppendChangeOnlyThatLine, CurrentIndexFollowsSetAndClear,
                            MissingLinesReadEmptyAndIgnoreWrites);

} // namespace ostrel::test
