#include "capture/row_view.h"
#include "tests/capture/line_view_conformance.h"

namespace ostrel::test {

using Views = ::testing::Types<MemoryLineView, RowView>;
INSTANTIATE_TYPED_TEST_SUITE_P(Every, LineViewConformance, Views);

// However the bytes come, and however long nobody looks, the rows are the
// same: taken in one go (more than the view can show, or past the most it
// holds back), a chunk at a time without a look, or a few bytes at a time
// with a look after each. Before the long
// part the view is empty, or holds a few rows, or a full 1000, with the last
// line or an older one chosen by the user.
struct RowCase {
    const char* name;
    std::size_t before; // bytes taken and looked at first
    int chosen; // the line the user then chooses, -1 for the last
    std::size_t longRun; // then bytes taken, looked at once or often
};

class RowViewCases : public ::testing::TestWithParam<RowCase> { };

TEST_P(RowViewCases, RowsDoNotDependOnWhenTheyAreRead)
{
    const RowCase& c = GetParam();
    std::string bytes;
    for (std::size_t i = 0; i < c.before + c.longRun; ++i)
        bytes += static_cast<char>(i * 7 % 251);
    for (const RowView::Form form : { RowView::Form::Characters, RowView::Form::Hex }) {
        RowView once(form), often(form), unseen(form);
        for (RowView* view : { &once, &often, &unseen }) {
            view->takeBytes(std::string_view(bytes).substr(0, c.before), 3);
            if (view->lineCount() > 0)
                view->setCurrentIndex(c.chosen < 0 ? view->lineCount() - 1 : c.chosen);
        }
        once.takeBytes(
            std::string_view(bytes).substr(c.before), static_cast<int>((3 + c.before) % 8));
        for (std::size_t at = c.before; at < bytes.size(); at += 13) {
            often.takeBytes(std::string_view(bytes).substr(at, 13), static_cast<int>((3 + at) % 8));
            (void)often.lineCount(); // a look, which writes what was taken
        }
        // As a window that is not drawn gets them: chunk after chunk, unread.
        for (std::size_t at = c.before; at < bytes.size(); at += 4096)
            unseen.takeBytes(
                std::string_view(bytes).substr(at, 4096), static_cast<int>((3 + at) % 8));
        ASSERT_EQ(once.lineCount(), often.lineCount());
        ASSERT_EQ(unseen.lineCount(), often.lineCount());
        EXPECT_EQ(unseen.currentIndex(), often.currentIndex());
        EXPECT_LE(once.lineCount(), RowView::kMaxLines);
        EXPECT_EQ(once.currentIndex(), often.currentIndex());
        for (int i = 0; i < once.lineCount(); ++i)
            ASSERT_EQ(once.line(i), often.line(i)) << "line " << i;
        for (int i = 0; i < unseen.lineCount(); ++i)
            ASSERT_EQ(unseen.line(i), often.line(i)) << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Histories, RowViewCases,
    ::testing::Values(RowCase { "empty_then_long", 0, -1, 200'000 },
        RowCase { "empty_then_just_over_a_full_view", 0, -1, 8 * 1001 + 5 },
        RowCase { "a_few_rows_then_long", 30, -1, 100'000 },
        RowCase { "older_line_chosen_then_long", 30, 1, 100'000 },
        RowCase { "first_line_chosen_then_long", 30, 0, 100'000 },
        RowCase { "full_view_then_long", 9000, -1, 100'000 },
        RowCase { "full_view_then_a_little", 9000, 500, 77 },
        RowCase { "past_the_most_held_back", 5, -1, 3'000'000 }),
    [](const ::testing::TestParamInfo<RowCase>& info) { return std::string(info.param.name); });

// Bytes taken and not yet looked at go with everything else at Clear All.
TEST(RowView, ClearDropsWhatWasNotYetWritten)
{
    RowView view(RowView::Form::Hex);
    view.takeBytes("ABCDEFGHIJ", 0);
    view.clear();
    EXPECT_EQ(view.lineCount(), 0);
    view.takeBytes("KLMNOP", 2); // the rest of the row, on a line of its own
    view.takeBytes("QR", 0);
    ASSERT_EQ(view.lineCount(), 2);
    EXPECT_EQ(view.line(0), "4B 4C 4D 4E 4F 50");
    EXPECT_EQ(view.line(1), "51 52");
}

} // namespace ostrel::test
