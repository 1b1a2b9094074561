// The list box: what it draws, and the user's choice of the current line.

#include "tests/ui/window_test_support.h"
#include "ui/line_list_box.h"

#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    class ListBox : public ::testing::Test {
    protected:
        ListBox()
            : box(lines)
        {
            box.resize(200, 100);
            for (int i = 0; i < 50; ++i)
                lines.addLine("line " + std::to_string(i));
            lines.setCurrentIndex(49);
            box.refresh();
            box.show();
        }
        void press(int key) { QTest::keyClick(&box, static_cast<Qt::Key>(key)); }

        MemoryLineView lines;
        LineListBox box;
    };

    TEST_F(ListBox, RefreshKeepsTheCurrentLineInView)
    {
        EXPECT_TRUE(RowInView(&box, 49));
        EXPECT_FALSE(RowInView(&box, 0));
        lines.setCurrentIndex(3);
        box.refresh();
        EXPECT_TRUE(RowInView(&box, 3));
        lines.clear();
        box.refresh();
        EXPECT_EQ(box.firstVisibleRow(), 0);
    }

    TEST_F(ListBox, ClickingARowMakesItTheCurrentLine)
    {
        const int first = box.firstVisibleRow();
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(5, box.rowHeight() * 2 + 1));
        EXPECT_EQ(lines.currentIndex(), first + 2);
        // Below the last line there is nothing to choose.
        lines.clear();
        lines.addLine("only");
        lines.setCurrentIndex(0);
        box.refresh();
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(5, box.rowHeight() * 3));
        EXPECT_EQ(lines.currentIndex(), 0);
    }

    TEST_F(ListBox, KeysMoveTheCurrentLine)
    {
        const struct {
            int key;
            int expected;
        } steps[] = {
            { Qt::Key_Home, 0 },
            { Qt::Key_Down, 1 },
            { Qt::Key_Down, 2 },
            { Qt::Key_Up, 1 },
            { Qt::Key_Up, 0 },
            { Qt::Key_Up, 0 },
            { Qt::Key_End, 49 },
            { Qt::Key_Down, 49 },
            { Qt::Key_PageUp, 49 - box.visibleRows() },
            { Qt::Key_PageDown, 49 },
        };
        for (const auto& step : steps) {
            press(step.key);
            EXPECT_EQ(lines.currentIndex(), step.expected) << step.key;
            EXPECT_TRUE(RowInView(&box, step.expected));
        }
    }

    TEST_F(ListBox, LongLinesScrollSideways)
    {
        lines.addLine(std::string(200, 'x'));
        lines.setCurrentIndex(50);
        box.refresh();
        EXPECT_GT(box.horizontalScrollBar()->maximum(), 0);
    }

    TEST(DisplayText, EveryByteOneVisibleCharacter)
    {
        EXPECT_EQ(DisplayText(std::string("A\0\x1b\x7f\xe9 \x80\x81\x9f\xad", 10)),
            QString::fromUtf8("A\u2400\u241B\u2421\u00E9 \u20AC\uFFFD\u0178\u2010"));
        EXPECT_EQ(DisplayText(std::string("A\0\x1b\x7f\xb7", 5), /*controlPictures=*/false),
            QString::fromUtf8("A\u25AB\u25AB\u25AB\u00B7"));
    }

} // namespace
} // namespace ostrel::test
