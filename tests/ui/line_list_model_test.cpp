#include "tests/capture/line_view_conformance.h"
#include "ui/line_list_model.h"

#include <QSignalSpy>

namespace ostrel::test {

using ModelViews = ::testing::Types<LineListModel>;
INSTANTIATE_TYPED_TEST_SUITE_P(ListModel, LineViewConformance, ModelViews);

namespace {

TEST(LineListModel, ListsLearnOfChangesOnlyWhenPublished)
{
    LineListModel model;
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    model.addLine("a");
    model.addLine("b");
    EXPECT_EQ(model.rowCount(), 0) << "not yet published";
    model.publishChanges();
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(resets.count(), 1);
    model.appendToLine(1, "c");
    model.replaceLine(0, "z");
    model.publishChanges();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(changes[0][1].toModelIndex().row(), 1);
    EXPECT_EQ(model.index(1).data().toString(), "bc");
    model.publishChanges();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(changes.count(), 1) << "nothing new, nothing sent";
}

TEST(LineListModel, DrawsEveryByteAsOneVisibleCharacter)
{
    EXPECT_EQ(DisplayText(std::string("A\0\x1b\x7f\xe9 \x80\x81\x9f", 9)),
              QString::fromUtf8("A\u2400\u241B\u2421\u00E9 \u20AC\uFFFD\u0178"));
    EXPECT_EQ(DisplayText(std::string("A\0\x1b\x7f\xb7", 5), /*controlPictures=*/false),
              QString::fromUtf8("A\u25AB\u25AB\u25AB\u00B7"));
}

} // namespace
} // namespace ostrel::test
