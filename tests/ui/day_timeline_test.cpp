// The day timeline: its model from a day of real recordings (segments,
// alarms, gaps, where a click plays, GPS speeds, zoom), and in the main
// window the speeds from the measuring worker, a click that plays from the
// clicked time, and the in and out marks as the default span of the
// conversion dialog and the row menu's export.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <thread>

#include "catalogue/day_timeline.h"
#include "catalogue/scan.h"
#include "common/temp_dir.h"
#include "playback/message_box.h"
#include "playback/video_group.h"
#include "recwriter.h"
#include "test_recording.h"
#include "ui/convert_dialog.h"
#include "ui/day_timeline.h"
#include "ui/main_window.h"

using namespace corvane;

namespace {

constexpr int At(int h, int m, int s) { return h * 3600 + m * 60 + s; }

// Two three-second recordings with a fix each second (19:09:09 and 19:15:00)
// and, between them, an alarm recording with one event 1 s in (19:12:00).
void WriteDay(const test::TempDir& dir) {
    test::RecordingOptions o;
    o.seconds = 3;
    o.realVideo = false;
    o.gpsChannels = {0};
    for (const char* stamp : {"20160920_190909", "20160920_191500"}) {
        o.stamp = stamp;
        ASSERT_FALSE(test::WriteTestRecording(dir.path().string(), o).empty());
    }
    rec::StreamOptions s;
    s.seconds = 4;
    s.fps = 2;
    s.channel = 1;
    rec::FileLayout alarm;
    alarm.version = "V502";
    alarm.channels = {rec::Channel{}};
    alarm.events = {{1000, 100, 2}};
    ASSERT_TRUE(rec::WriteRecording(dir.File("H264_20160920_191200_N0_01.264"), alarm, rec::MakeStream(s)));
}

template <typename F>
bool ProcessUntil(F done) {
    for (int i = 0; i < 1000 && !done(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// The start of the conversion dialog the command opens, and its span.
QStringList ConvertDefaults(CMainWindow& w) {
    QStringList seen;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<CDlgConvert*>(QApplication::activeModalWidget())) {
            seen = {d->List()->item(0, 1)->text(), d->RangeText()};
            d->close();
        }
    });
    probe.start(20);
    w.RunCommand(CMainWindow::kCmdConvert);
    return seen;
}

}  // namespace

TEST(DayTimeline, ModelOfADay) {
    test::TempDir dir;
    WriteDay(dir);
    ScanFilter f;
    f.root = dir.path().string();
    DayList days;
    RecordingScan(f, days, nullptr).Run();
    ASSERT_EQ(days.size(), 1u);
    CDayVideo& day = *days[0];
    SortRecordings(day);
    for (auto& r : day.recordings) {
        r->Measure();
        r->speeds = ReadSpeedTrack(r->Files());
    }
    const DayTimeline t(day);

    ASSERT_EQ(t.Segments().size(), 3u);
    const int ends[] = {t.Segments()[0].end, t.Segments()[1].end};
    EXPECT_EQ(t.Segments()[0].start, At(19, 9, 9));
    EXPECT_GT(ends[0], At(19, 9, 9));
    EXPECT_EQ(t.Segments()[1].start, At(19, 12, 0));
    EXPECT_GT(ends[1], At(19, 12, 0));
    EXPECT_EQ(t.Segments()[2].start, At(19, 15, 0));
    EXPECT_FALSE(t.Segments()[0].alarm);
    EXPECT_TRUE(t.Segments()[1].alarm);
    EXPECT_EQ(t.AlarmMarkers(), std::vector<int>{At(19, 12, 1)});
    ASSERT_EQ(t.Gaps().size(), 2u);
    EXPECT_EQ(t.Gaps()[0].start, ends[0]);
    EXPECT_EQ(t.Gaps()[0].end, At(19, 12, 0));
    EXPECT_EQ(t.Gaps()[1].start, ends[1]);
    EXPECT_EQ(t.Gaps()[1].end, At(19, 15, 0));

    // A click inside a recording plays it from there; in a gap or before the
    // first, the next one from its start; after the last, nothing.
    auto hit = [&](int second) { return t.HitAt(second).value_or(TimelineHit{-1, -1}); };
    EXPECT_EQ(hit(At(19, 9, 10)).recording, 0);
    EXPECT_EQ(hit(At(19, 9, 10)).offset, 1);
    EXPECT_EQ(hit(At(19, 12, 2)).recording, 1);
    EXPECT_EQ(hit(At(19, 12, 2)).offset, 2);
    EXPECT_EQ(hit(At(19, 13, 0)).recording, 2);
    EXPECT_EQ(hit(At(19, 13, 0)).offset, 0);
    EXPECT_EQ(hit(At(8, 0, 0)).recording, 0);
    EXPECT_EQ(hit(At(8, 0, 0)).offset, 0);
    EXPECT_FALSE(t.HitAt(At(20, 0, 0)));

    // One speed run per recording with fixes, one point a second, none across a gap.
    ASSERT_EQ(t.SpeedRuns().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const auto& run = t.SpeedRuns()[i];
        ASSERT_EQ(run.size(), 3u);
        const int start = i == 0 ? At(19, 9, 9) : At(19, 15, 0);
        for (size_t k = 0; k < run.size(); ++k) {
            EXPECT_DOUBLE_EQ(run[k].second, start + static_cast<double>(k));
            EXPECT_FLOAT_EQ(run[k].speed, 36.5f);
        }
    }
    EXPECT_FLOAT_EQ(t.MaxSpeed(), 36.5f);
    EXPECT_FALSE(t.SpeedAt(At(19, 12, 0)));

    // The wheel keeps the time under the pointer and stops at a minute.
    TimelineView v;
    v.SetWidth(1200);
    const double under = v.SecondAt(300);
    v.ZoomAround(300, 0.5);
    EXPECT_NEAR(v.SecondAt(300), under, 1e-6);
    for (int i = 0; i < 40; ++i) v.ZoomAround(300, 0.5);
    EXPECT_DOUBLE_EQ(v.Span(), 60);
    EXPECT_NEAR(v.SecondAt(300), under, 1e-6);
    v.Pan(-1e9);
    EXPECT_DOUBLE_EQ(v.First(), 0);
}

TEST(DayTimeline, MainWindowSpeedsClickAndMarks) {
    test::TempDir dir, out;
    WriteDay(dir);
    CapturedMessageBoxes messages;
    PlayerServices services;
    services.messages = &messages;
    CMainWindow w(services);
    w.ImportFolder(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(w.AllFiles()->RowCount(), 3);
    CDayTimeline* timeline = w.Timeline();
    ASSERT_NE(timeline, nullptr);
    // The measuring worker reads the speeds in the background.
    ASSERT_TRUE(ProcessUntil([&] { return timeline->Model().SpeedRuns().size() == 2; }));

    // Zoomed in to a minute around 19:15, a click at 19:15:01.5 plays the
    // third recording from its second second.
    w.resize(1200, 800);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    timeline->View().ZoomAround(timeline->View().XOf(At(19, 15, 0)), 1.0 / 2000);
    const int x = static_cast<int>(timeline->View().XOf(At(19, 15, 1) + 0.5));
    QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(x, timeline->height() / 2));
    CDiskVideo* third = w.CurrentDay()->recordings[2].get();
    EXPECT_EQ(w.Group().PlayingRecording(), third);
    EXPECT_EQ(w.Group().CurrentSecond(), 1);
    w.UserStop();

    // Without marks the conversion spans the day; marks, set in either
    // order, give their span.
    const QStringList whole = ConvertDefaults(w);
    ASSERT_EQ(whole.size(), 2);
    EXPECT_EQ(whole[0], "20160920_190909_CH1.AVI");
    w.SetMarkAt(false, At(19, 12, 30));
    w.SetMarkAt(true, At(19, 9, 10));
    EXPECT_EQ(ConvertDefaults(w), (QStringList{"20160920_190910_CH1.AVI", "0:03:20"}));

    // The export copies the recordings the span touches, whatever row is selected.
    w.findChild<QTableView*>("list_allfiles")->selectRow(2);
    w.ExportSelectedTo(QString::fromStdString(out.path().string()));
    for (size_t i = 0; i < 3; ++i) {
        const std::string name = std::filesystem::path(w.CurrentDay()->recordings[i]->FirstPath()).filename().string();
        EXPECT_EQ(std::filesystem::exists(out.File(name)), i < 2) << name;
    }
}
