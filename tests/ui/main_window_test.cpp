#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableView>

#include "common/temp_dir.h"
#include "recwriter.h"

using namespace corvane;

TEST(MainWindow, ImportsAFolderAndListsTheNewestDay) {
    test::TempDir dir;
    for (const char* name : {"H264_20150812_123000_N0_01.264", "H264_20150812_090000_N0_01.264",
                             "H264_20150811_100000_N0_01.264"}) {
        rec::StreamOptions o;
        o.seconds = 2;
        o.fps = 2;
        ASSERT_TRUE(rec::WriteRecording(dir.File(name), rec::Spec{}, rec::MakeStream(o)));
    }
    CMainWindow w;
    for (const char* name : {"btn_play", "btn_pause", "btn_stop", "btn_prev", "btn_next", "btn_capture",
                             "btn_importloc", "btn_selectday", "btn_goback", "btn_normal", "btn_forward"}) {
        EXPECT_NE(w.findChild<QPushButton*>(name), nullptr) << name;
    }
    w.ImportFolder(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(w.Days().size(), 2u);
    ASSERT_NE(w.CurrentDay(), nullptr);
    EXPECT_EQ(w.CurrentDay()->GetDateText(), "2015-08-12");
    ASSERT_EQ(w.AllFiles()->RowCount(), 2);
    EXPECT_EQ(w.AllFiles()->Row(0)->recording->GetStartText(), "9:00:00");
    EXPECT_EQ(w.findChild<QPushButton*>("btn_selectday")->text(), "2015-08-12");
    w.OpenDay(0);
    EXPECT_EQ(w.AllFiles()->RowCount(), 1);

    w.StepSpeed(false);
    EXPECT_EQ(w.SpeedCode(), -2);
    EXPECT_EQ(w.findChild<QPushButton*>("btn_normal")->text(), "-2");
    w.findChild<QPushButton*>("btn_normal")->click();
    EXPECT_EQ(w.findChild<QPushButton*>("btn_normal")->text(), "1");
}
