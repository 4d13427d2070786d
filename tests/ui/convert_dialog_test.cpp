#include "ui/convert_dialog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTableWidget>
#include <QTime>
#include <chrono>
#include <filesystem>
#include <thread>

#include "catalogue/scan.h"
#include "common/temp_dir.h"
#include "test_recording.h"

using namespace corvane;

namespace {

// Lets the dialog handle the job's messages until the job has ended (bounded).
void WaitUntilIdle(CDlgConvert& d) {
    for (int i = 0; i < 3000 && d.Running(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

TEST(ConvertDialog, NamesRowsAndExportsEveryChannel) {
    test::TempDir dir, out;
    test::RecordingOptions o;
    o.seconds = 3;
    o.channels = 2;
    o.stamp = "20160920_190909";
    ASSERT_FALSE(test::WriteTestRecording(dir.path().string(), o).empty());
    o.channels = 1;  // a later one-channel recording: the day still has two channels
    o.stamp = "20160920_192000";
    ASSERT_FALSE(test::WriteTestRecording(dir.path().string(), o).empty());
    ScanFilter f;
    f.root = dir.path().string();
    DayList days;
    RecordingScan(f, days, nullptr).Run();
    ASSERT_EQ(days.size(), 1u);
    for (auto& r : days[0]->recordings) r->Measure();

    CDlgConvert d(*days[0]);
    ASSERT_EQ(d.List()->rowCount(), 2);
    EXPECT_EQ(d.List()->item(0, 1)->text(), "20160920_190909_CH1.AVI");
    EXPECT_EQ(d.List()->item(1, 1)->text(), "20160920_190909_CH2.AVI");
    EXPECT_EQ(d.RangeText(), "0:10:54");  // 19:09:09 to 19:20:03
    d.SetTimes(QTime(19, 9, 10), QTime(19, 9, 9));
    EXPECT_EQ(d.List()->item(0, 1)->text(), "20160920_190910_CH1.AVI");
    d.Start();  // the end before the start: nothing happens
    EXPECT_FALSE(d.Running());

    d.SetTimes(QTime(19, 9, 9), QTime(19, 9, 12));
    d.SetFolder(QString::fromStdString(out.path().string()));
    d.Start();
    WaitUntilIdle(d);
    EXPECT_FALSE(d.Running());
    QCoreApplication::processEvents();
    EXPECT_EQ(d.List()->item(0, 2)->text(), "100");
    EXPECT_EQ(d.List()->item(1, 2)->text(), "100");
    EXPECT_TRUE(std::filesystem::exists(out.File("20160920_190909_CH1.AVI")));
    EXPECT_TRUE(std::filesystem::exists(out.File("20160920_190909_CH2.AVI")));
    EXPECT_TRUE(std::filesystem::exists(out.File("manifest.json")));

    d.SetFormat(ExportFormat::kMp4);
    EXPECT_EQ(d.List()->item(1, 1)->text(), "20160920_190909_CH2.mp4");
    d.Start();
    WaitUntilIdle(d);
    QCoreApplication::processEvents();
    EXPECT_TRUE(std::filesystem::exists(out.File("20160920_190909_CH1.mp4")));
    d.SetFormat(ExportFormat::kAvi);

    // A folder that cannot be written: the rows say so instead of counting as done.
    d.SetFolder("/proc/corvane-no-such-folder");
    d.Start();
    WaitUntilIdle(d);
    d.Stop();
    bool isNumber = true;
    d.List()->item(0, 2)->text().toInt(&isNumber);
    EXPECT_FALSE(isNumber) << d.List()->item(0, 2)->text().toStdString();
}
