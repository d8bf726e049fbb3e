#include "device/ui/HistoryModel.h"

#include <gtest/gtest.h>
#include <QListView>
#include <QTest>

namespace quillon {
namespace {

TEST(HistoryModelTest, KeepsOnlyTheNewestLines) {
    THistoryModel model(nullptr, 3);
    for (int i = 1; i <= 5; ++i) {
        model.Append(QString::number(i));
    }
    EXPECT_EQ(model.rowCount(), 0);  // queued for the view
    model.Flush();
    model.Append("6");
    model.Flush();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.Line(0), "4");
    EXPECT_EQ(model.data(model.index(2, 0), Qt::DisplayRole).toString(), "6");
    EXPECT_EQ(model.AppendedCount(), 6);
    model.Append("queued");
    model.Clear();
    model.Flush();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(THistoryModel::kDefaultCapacity, 100000);
}

TEST(HistoryModelTest, ViewFollowsTheNewestLineOncePerBatch) {
    QListView view;
    THistoryModel model(&view, 500);
    view.setModel(&model);
    THistoryFollower follower(&view, &model);
    for (int i = 0; i < 1000; ++i) {
        model.Append(QString("line %1").arg(i));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() > 0; }, 10000));
    EXPECT_EQ(follower.FollowCount(), 1);
    EXPECT_EQ(view.currentIndex().row(), 499);
    EXPECT_EQ(model.Line(499), "line 999");
}

}  // namespace
}  // namespace quillon
