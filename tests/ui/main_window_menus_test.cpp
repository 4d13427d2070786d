// The main window's menus and maintenance: where the row menu is offered,
// the option menu's conversion without a day, exporting a recording's files,
// and the fix list following the repair worker.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/temp_dir.h"
#include "platform/reg_file.h"
#include "playback/message_box.h"
#include "test_recording.h"
#include "playback/video_group.h"
#include "recwriter.h"
#include "ui/convert_dialog.h"
#include "ui/main_window.h"

using namespace corvane;

namespace {

QStringList ActionNames(const QMenu& menu) {
    QStringList names;
    for (QAction* a : menu.actions()) names << a->objectName();
    return names;
}

// Runs `command` and reports which modal dialog it opened, closing it.
QString ModalOpenedBy(CMainWindow& w, int command) {
    QString opened;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = modal->metaObject()->className();
            modal->close();
        }
    });
    probe.start(20);
    w.RunCommand(command);
    return opened;
}

// Lets the window handle the workers' messages until `done` holds (bounded
// generously: a loaded 2-core CI machine runs several test programs at once).
template <typename F>
bool ProcessUntil(F done) {
    for (int i = 0; i < 3000 && !done(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

}  // namespace

TEST(MainWindowMenus, RowMenuOnlyOnFilledFileListsAndConvertOnlyWithADay) {
    test::TempDir dir;
    CapturedMessageBoxes messages;
    PlayerServices services;
    services.messages = &messages;
    CMainWindow w(services);
    auto* all = w.findChild<QTableView*>("list_allfiles");
    auto* fix = w.findChild<QTableView*>("list_fixfiles");
    ASSERT_TRUE(all && fix);
    EXPECT_EQ(w.MakeRowMenu(all, QPoint(5, 5)), nullptr);  // no rows yet
    EXPECT_EQ(ModalOpenedBy(w, CMainWindow::kCmdConvert), "");  // no day yet

    test::RecordingOptions o;
    o.seconds = 2;
    o.realVideo = false;
    for (const char* stamp : {"20160920_190909", "20160920_191500"}) {
        o.stamp = stamp;
        ASSERT_FALSE(test::WriteTestRecording(dir.path().string(), o).empty());
    }
    w.ImportFolder(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(w.AllFiles()->RowCount(), 2);
    w.resize(1200, 800);
    w.show();
    QRect second = all->visualRect(all->model()->index(1, 1));
    std::unique_ptr<QMenu> menu = w.MakeRowMenu(all, second.center());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(ActionNames(*menu), (QStringList{"menu_export", "menu_repair"}));
    EXPECT_EQ(all->selectionModel()->selectedRows().front().row(), 1);  // the row under the click

    w.FixFiles()->AddRow(w.AllFiles()->Row(0)->recording);
    EXPECT_EQ(w.MakeRowMenu(fix, QPoint(5, 5)), nullptr);  // never on the fix list
    EXPECT_EQ(ModalOpenedBy(w, CMainWindow::kCmdConvert), "corvane::CDlgConvert");
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(MainWindowMenus, ExportCopiesEveryChannelFileAndNamesTheOnesThatFailed) {
    test::TempDir dir, out;
    test::RecordingOptions o;
    o.seconds = 2;
    o.channels = 2;
    o.realVideo = false;
    std::vector<std::string> files = test::WriteTestRecording(dir.path().string(), o);
    ASSERT_EQ(files.size(), 2u);
    CapturedMessageBoxes messages;
    PlayerServices services;
    services.messages = &messages;
    CMainWindow w(services);
    w.ImportFolder(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(w.AllFiles()->RowCount(), 1);

    // An older file of the same name is replaced.
    const std::string first = std::filesystem::path(files[0]).filename().string();
    std::ofstream(out.File(first)) << "old";
    w.ExportSelectedTo(QString::fromStdString(out.path().string()));
    for (const std::string& f : files) {
        std::string copy = out.File(std::filesystem::path(f).filename().string());
        EXPECT_EQ(ReadTextFile(copy), ReadTextFile(f)) << copy;
    }
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_EQ(messages.Texts()[0], "Export video ok!");

    w.ExportSelectedTo("/proc/corvane-no-such-folder");
    std::vector<std::string> said = messages.Texts();
    ASSERT_EQ(said.size(), 2u);
    const std::string& failed = said[1];
    EXPECT_EQ(failed.rfind("These files could not be copied:", 0), 0u) << failed;
    EXPECT_NE(failed.find(first), std::string::npos) << failed;
}

TEST(MainWindowMenus, FixListFollowsTheRepairWorker) {
    test::TempDir dir;
    rec::StreamOptions o;
    o.seconds = 4;
    o.fps = 2;
    o.channel = 1;
    // An alarm recording whose recorder lost power before writing length and
    // index: measured as broken (with its three alarms), then repaired and
    // measured again.
    rec::FileLayout alarm;
    alarm.version = "V502";
    alarm.channels = {rec::Channel{}};
    alarm.events = {{1000, 100, 1}, {2000, 200, 1}, {3000, 300, 1}};
    alarm.writeIndex = false;
    alarm.lengthField = 0;
    ASSERT_TRUE(rec::WriteRecording(dir.File("H264_20150812_090000_N0_01.264"), alarm, rec::MakeStream(o)));
    // Another one cut off the same way, gone before its repair. Measured as
    // broken whether or not it is still there when the worker reads it.
    o.channel = 0;
    rec::FileLayout cut;
    cut.writeIndex = false;
    cut.lengthField = 0;
    std::string vanishing = dir.File("H264_20150812_100000_N0_01.264");
    ASSERT_TRUE(rec::WriteRecording(vanishing, cut, rec::MakeStream(o)));

    CapturedMessageBoxes messages;
    PlayerServices services;
    services.messages = &messages;
    CMainWindow w(services);
    // The workers start with the scan; the repair of the second file begins
    // only once its broken message is handled here, after it is gone.
    w.ImportFolder(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(w.AllFiles()->RowCount(), 2);
    std::filesystem::remove(vanishing);

    CVListExAdapter* fixes = w.FixFiles();
    auto statusOf = [&](const std::string& path) -> QString {
        for (auto& r : w.CurrentDay()->recordings) {
            const int row = fixes->RowOf(r.get());
            if (r->filePath == path && row >= 0) return fixes->data(fixes->index(row, 2), Qt::DisplayRole).toString();
        }
        return {};
    };
    ASSERT_TRUE(ProcessUntil([&] { return statusOf(vanishing) == "Repair failed"; })) << statusOf(vanishing).toStdString();
    ASSERT_TRUE(ProcessUntil([&] { return fixes->RowCount() == 1; }));
    EXPECT_EQ(fixes->Row(0)->recording->filePath, vanishing);  // the repaired row left
    CDiskVideo* repaired = w.AllFiles()->Row(0)->recording;
    EXPECT_EQ(repaired->length, 3u);  // from the first to the last key frame of the rebuilt table
    // Measured twice, listed once per alarm.
    EXPECT_EQ(repaired->events.size(), 3u);
    EXPECT_EQ(w.AlarmFiles()->RowCount(), 3);
}

// A recording that turns out broken while it plays is closed for its repair
// and plays on from where it was; its old readers are not pulled out from
// under the playing channels, nor is its index rewritten while they read.
TEST(MainWindowMenus, ThePlayingRecordingIsRepairedAndPlaysOn) {
    test::TempDir dir;
    test::RecordingOptions o;
    o.version = "V700";
    o.seconds = 20;
    o.fps = 10;
    std::vector<std::string> files = test::WriteTestRecording(dir.path().string(), o);
    ASSERT_EQ(files.size(), 1u);
    // Length and index wiped, as a power cut leaves them.
    ASSERT_TRUE(rec::PatchU32(files[0], 28, 0));
    ASSERT_TRUE(rec::Patch(files[0], 56, std::vector<uint8_t>(20 * 8, 0xFF)));

    CapturedMessageBoxes messages;
    PlayerServices services;
    services.messages = &messages;
    CMainWindow w(services);
    w.ImportFolder(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(w.AllFiles()->RowCount(), 1);
    CDiskVideo* r = w.AllFiles()->Row(0)->recording;
    w.PlayOrResume();
    ASSERT_EQ(w.Group().PlayingRecording(), r);
    // Without a length it cannot seek: let it play two seconds before the
    // measuring worker's report is handled.
    for (int i = 0; i < 500 && w.Group().CurrentSecond() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(w.Group().CurrentSecond(), 2);

    ASSERT_TRUE(ProcessUntil([&] { return w.InRepair(r); }));
    EXPECT_EQ(w.PlayAfterRepair(), r);
    ASSERT_TRUE(ProcessUntil([&] { return !w.InRepair(r); }));
    EXPECT_EQ(w.FixFiles()->RowCount(), 0);
    EXPECT_EQ(r->length, 20u);
    ASSERT_EQ(w.Group().PlayingRecording(), r);
    EXPECT_EQ(w.Group().State(), kPlaying);
    EXPECT_GE(w.Group().CurrentSecond(), 2);
    EXPECT_FALSE(w.UserStopped());
    w.UserStop();
}
