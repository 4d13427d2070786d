#include "ui/recording_list_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "catalogue/local_time.h"

using namespace corvane;

TEST(RecordingList, WholeRecordingAndEventRows) {
    CDiskVideo r;
    r.startTime = r.endTime = MakeLocalTime({2015, 8, 12, 10, 0, 0});
    r.family = 1;
    CVListExAdapter list(CVListExAdapter::Kind::Files);
    EXPECT_EQ(list.rowCount(), 0);
    list.AddRow(&r);
    // Not measured yet: length 0 and equal start and end.
    EXPECT_EQ(CVListExAdapter::TimeText(*list.Row(0)), "10:00:00 -> 10:00:00");
    EXPECT_EQ(CVListExAdapter::LengthText(*list.Row(0)), "0:00:00");
    r.length = 3725;
    r.endTime = r.startTime + r.length;
    EXPECT_EQ(CVListExAdapter::LengthText(*list.Row(0)), "1:02:05");

    r.events = {{1500, 7, 30}, {60000, 1, 0x10005}};  // the length is the low 16 bits
    list.AddRow(&r, 0);
    list.AddRow(&r, 1);
    EXPECT_EQ(CVListExAdapter::TimeText(*list.Row(1)), "10:00:01 -> 10:00:31");
    EXPECT_EQ(CVListExAdapter::LengthText(*list.Row(1)), "0:00:30");
    EXPECT_EQ(CVListExAdapter::TimeText(*list.Row(2)), "10:01:00 -> 10:01:05");
    EXPECT_EQ(list.data(list.index(2, 0), Qt::DisplayRole).toInt(), 3);
    EXPECT_EQ(list.data(list.index(0, 3), Qt::DisplayRole).toString(), "Alarm");
    EXPECT_TRUE(list.data(list.index(0, 1), Qt::DisplayRole).toString().contains("CH:0"));

    // Removing a recording takes only its first row.
    list.RemoveRow(&r);
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.Row(0)->Event(), &r.events[0]);
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    list.ClearRows();
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(reset.count(), 1);
}

TEST(RecordingList, RepairRowsShowTheFileAndAStatus) {
    CDiskVideo r;
    r.filePath = "/card/a/H264_20150812_123000_N0_01.264";
    CVListExAdapter list(CVListExAdapter::Kind::Repairs);
    list.AddRow(&r);
    EXPECT_EQ(list.columnCount(), 3);
    EXPECT_EQ(list.data(list.index(0, 1), Qt::DisplayRole).toString(), "H264_20150812_123000_N0_01.264");
    list.SetStatus(&r, "Repairing");
    EXPECT_EQ(list.data(list.index(0, 2), Qt::DisplayRole).toString(), "Repairing");
}
