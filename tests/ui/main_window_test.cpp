#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QTabWidget>
#include <QTableView>

#include "ui/qt_message_sink.h"

#include "common/temp_dir.h"
#include "test_recording.h"
#include "playback/message_box.h"
#include "playback/video_group.h"
#include "recwriter.h"

using namespace corvane;

TEST(MainWindow, ImportsAFolderAndListsTheNewestDay) {
    test::TempDir dir;
    for (const char* name : {"H264_20150812_123000_N0_01.264", "H264_20150812_090000_N0_01.264",
                             "H264_20150811_100000_N0_01.264"}) {
        rec::StreamOptions o;
        o.seconds = 2;
        o.fps = 2;
        ASSERT_TRUE(rec::WriteRecording(dir.File(name), rec::FileLayout{}, rec::MakeStream(o)));
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

    // Nothing plays: the group keeps normal speed.
    w.StepSpeed(false);
    EXPECT_EQ(w.SpeedCode(), 0);
    EXPECT_EQ(w.findChild<QPushButton*>("btn_normal")->text(), "1");
}

TEST(MainWindow, TransportOverRealRecordings) {
    test::TempDir dir;
    test::RecordingOptions o;
    o.seconds = 2;
    o.stamp = "20160920_190909";
    ASSERT_FALSE(test::WriteTestRecording(dir.path().string(), o).empty());
    o.stamp = "20160920_191500";
    o.channels = 2;
    ASSERT_FALSE(test::WriteTestRecording(dir.path().string(), o).empty());
    // Messages are captured: a modal box would wait for a click that never comes.
    CapturedMessageBoxes messages;
    PlayerServices services;
    services.messages = &messages;
    CMainWindow w(services);
    w.ImportFolder(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(w.AllFiles()->RowCount(), 2);

    w.PlayOrResume();  // row 0 is selected after the import
    CVideoGroup& g = w.Group();
    ASSERT_EQ(g.State(), kPlaying);
    EXPECT_FALSE(w.UserStopped());
    EXPECT_FALSE(w.findChild<QPushButton*>("btn_pause")->isHidden());
    EXPECT_TRUE(w.findChild<QPushButton*>("btn_play")->isHidden());
    EXPECT_EQ(g.LayoutMode(), 0);

    w.StepSpeed(true);
    EXPECT_EQ(g.Speed(), 2);
    EXPECT_EQ(w.findChild<QPushButton*>("btn_normal")->text(), "2");
    w.findChild<QPushButton*>("btn_normal")->click();
    EXPECT_EQ(g.Speed(), 0);

    test::TempDir out;
    w.Capture(QString::fromStdString(out.File("shot.bmp")));
    EXPECT_TRUE(std::filesystem::exists(out.File("shot.bmp")));
    w.CaptureAll(QString::fromStdString(out.File("all.png")));
    EXPECT_EQ(QImage(QString::fromStdString(out.File("all.png"))).width(), 480);  // one cell

    w.Pause();
    EXPECT_EQ(g.State(), kPaused);
    // Ten seconds on from a recording of two: on into the next one; ten back
    // from there: into the first again, still paused.
    auto* list = w.findChild<QTableView*>("list_allfiles");
    w.Jump(10);
    EXPECT_EQ(g.State(), kPaused);
    EXPECT_EQ(list->selectionModel()->selectedRows().front().row(), 1);
    w.Jump(-10);
    EXPECT_EQ(g.State(), kPaused);
    EXPECT_EQ(list->selectionModel()->selectedRows().front().row(), 0);
    w.PlayOrResume();
    EXPECT_EQ(g.State(), kPlaying);

    w.Next();  // the two-channel recording
    ASSERT_EQ(g.State(), kPlaying);
    EXPECT_EQ(g.LayoutMode(), 1);
    w.Next();  // past the last row: stopped, selection kept
    EXPECT_EQ(g.State(), kStopped);
    EXPECT_TRUE(w.UserStopped());
    EXPECT_EQ(w.findChild<QTableView*>("list_allfiles")->selectionModel()->selectedRows().front().row(), 1);
    w.Previous();
    EXPECT_EQ(g.State(), kPlaying);
    // Keys: "1" zooms the second channel only when it is open, "5" the first.
    w.ZoomKey(1);
    EXPECT_EQ(g.ZoomedChannel(), nullptr);
    w.ZoomKey(0);
    EXPECT_EQ(g.ZoomedChannel(), g.Port(0));
    w.ZoomKey(0);
    EXPECT_EQ(g.ZoomedChannel(), nullptr);
    // The "Fix Files" page leaves the all-files list the one play acts on.
    w.findChild<QTabWidget*>("tab_filelist")->setCurrentIndex(2);
    w.Next();
    EXPECT_EQ(g.State(), kPlaying);
    EXPECT_EQ(w.findChild<QTableView*>("list_allfiles")->selectionModel()->selectedRows().front().row(), 1);
    // Played backward to its start, a recording hands over to the previous
    // one, still backward; the first one stops there, back at normal speed.
    CDiskVideo* second = g.PlayingRecording();
    w.SetSpeed(-4);
    // It is at its start already: the group posts the end itself.
    for (int i = 0; i < 3000 && g.PlayingRecording() == second; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(g.State(), kPlaying);
    EXPECT_NE(g.PlayingRecording(), second);
    EXPECT_EQ(g.Speed(), -4);
    QCoreApplication::postEvent(&w, new PostedMessageEvent({kMsgEndOfRecording, 0, 0}));
    QCoreApplication::processEvents();
    EXPECT_EQ(g.State(), kStopped);
    EXPECT_EQ(g.Speed(), 0);
    w.UserStop();
    // The end of a recording after the user stopped does not advance.
    QCoreApplication::postEvent(&w, new PostedMessageEvent({kMsgEndOfRecording, 0, 0}));
    QCoreApplication::processEvents();
    EXPECT_EQ(g.State(), kStopped);
    w.PlayOrResume();
    EXPECT_EQ(g.State(), kPlaying);
    w.UserStop();
    EXPECT_EQ(g.State(), kStopped);
    EXPECT_TRUE(messages.Texts().empty()) << messages.Texts().front();
    EXPECT_EQ(w.findChild<QPushButton*>("btn_capture")->isEnabled(), false);

    // A folder without recordings empties the lists and says so.
    test::TempDir empty;
    w.ImportFolder(QString::fromStdString(empty.path().string()));
    EXPECT_EQ(w.AllFiles()->RowCount(), 0);
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_NE(messages.Texts()[0].find(empty.path().string()), std::string::npos);
}

TEST(MainWindow, ShortcutsActOnceEvenWhenTheKeyIsPassedOn) {
    test::TempDir dir;
    test::RecordingOptions o;
    o.seconds = 3;
    o.channels = 2;
    ASSERT_FALSE(test::WriteTestRecording(dir.path().string(), o).empty());
    CapturedMessageBoxes messages;
    PlayerServices services;
    services.messages = &messages;
    CMainWindow w(services);
    w.ImportFolder(QString::fromStdString(dir.path().string()));
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto* list = w.findChild<QTableView*>("list_allfiles");
    list->setFocus();
    w.PlayOrResume();
    CVideoGroup& g = w.Group();
    ASSERT_EQ(g.State(), kPlaying);

    // Keys arrive as the platform delivers them: to the window, which hands
    // them to the focused list; each goes on to the list after the shortcut.
    QWindow* window = w.windowHandle();
    QTest::keyClick(window, Qt::Key_Plus);
    EXPECT_EQ(g.Speed(), 2);
    QTest::keyClick(window, Qt::Key_Minus);
    EXPECT_EQ(g.Speed(), 0);
    QTest::keyClick(window, Qt::Key_5);
    EXPECT_EQ(g.ZoomedChannel(), g.Port(0));
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(g.State(), kPaused);
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(g.State(), kPlaying);
    // "." steps a picture on and pauses, "," steps back to where it was.
    QTest::keyClick(window, Qt::Key_Period);
    EXPECT_EQ(g.State(), kPaused);
    const uint64_t stepped = g.Port(0)->LastShown();
    QTest::keyClick(window, Qt::Key_Period);
    EXPECT_EQ(g.Port(0)->LastShown(), stepped + 40);
    QTest::keyClick(window, Qt::Key_Comma);
    EXPECT_EQ(g.Port(0)->LastShown(), stepped);
    w.UserStop();
    EXPECT_TRUE(messages.Texts().empty());
}
