#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <filesystem>
#include <fstream>

#include "common/temp_dir.h"
#include "config/program_folder.h"
#include "config/settings.h"
#include "platform/reg_file.h"
#include "ui/import_dialog.h"
#include "ui/option_dialog.h"
#include "ui/speed_steps.h"
#include "ui/wait_dialog.h"

using namespace corvane;

TEST(ImportDialog, AllTimeGuardsTheDateAndAnEmptyFolderKeepsItOpen) {
    CDlgImport d(nullptr, "/media/card");
    EXPECT_TRUE(d.allTimeCheck()->isChecked());
    EXPECT_FALSE(d.dateEdit()->isEnabled());
    d.allTimeCheck()->setChecked(false);
    EXPECT_TRUE(d.dateEdit()->isEnabled());
    ScanFilter f = d.Filter();
    EXPECT_EQ(f.root, "/media/card");
    EXPECT_EQ(f.allTimes, 0);
    EXPECT_EQ(f.stopHour, 23);
    EXPECT_EQ(f.stopSecond, 59);
    d.folderEdit()->clear();
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Rejected);  // still open, nothing accepted
    d.folderEdit()->setText("/x");
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST(OptionDialog, ListsLanguageFilesAndSavesEverything) {
    // The shipped Language folder sits beside the test binary's program folder
    // only in the player's folder; build one here.
    std::string folder = ProgramFolder() + "Language";
    bool made = !std::filesystem::exists(folder);
    std::filesystem::create_directories(folder);
    for (const char* name : {"eng.lng", "chs.LNG", "ch.lng", "notes.txt"}) std::ofstream(folder + "/" + name) << "<L/>";
    std::ofstream(folder + "/eng.lng") << "<?xml version=\"1.0\"?>\n<LANGUAGE name=\"English\"/>";  // shown by its name
    test::TempDir dir;
    AppSettings s;
    s.LangFile = "/somewhere/chs";  // no extension: still a prefix match
    s.MapName = 0;
    s.HardDraw = 7;
    {
        CDlgOption d(s, dir.File("s.reg"));
        QStringList names;
        for (int i = 0; i < d.language()->count(); ++i) names << d.language()->itemText(i);
        names.sort();
        EXPECT_EQ(names, (QStringList{"English", "ch", "chs"}));
        EXPECT_EQ(d.language()->currentText(), "chs");
        EXPECT_EQ(d.mapType()->currentIndex(), 0);
        d.mapType()->setCurrentIndex(1);
        d.accept();
    }
    EXPECT_EQ(s.MapName, 1);
    EXPECT_EQ(s.HardDraw, 7);
    EXPECT_TRUE(s.LangFile.ends_with("/Language/chs.LNG"));
    AppSettings back;
    ASSERT_TRUE(LoadSettings(back, dir.File("s.reg")));
    EXPECT_EQ(back.MapName, 1);
    EXPECT_EQ(back.LangFile, s.LangFile);
    if (made) std::filesystem::remove_all(folder);
}

TEST(OptionDialog, ASettingsFileThatCannotBeWrittenIsToldOnceAndTheOptionsStillApply) {
    test::TempDir dir;
    dir.Write("file", "not a folder");
    const std::string unwritable = dir.File("file/s.reg");  // fails for root as well
    AppSettings s;
    s.MapName = 0;
    CDlgOption d(s, unwritable);
    QStringList told;
    d.tellSaveFailed = [&](const QString& text) { told << text; };
    d.mapType()->setCurrentIndex(1);
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QString::fromStdString(unwritable))) << told[0].toStdString();
    EXPECT_EQ(s.MapName, 1);
}

TEST(SpeedSteps, StepsStopAtBothEndsAndUnknownCodesCountAsNormal) {
    EXPECT_EQ(SpeedStep(32, true), 32);
    EXPECT_EQ(SpeedStep(-32, false), -32);
    EXPECT_EQ(SpeedStep(0, true), 2);
    EXPECT_EQ(SpeedStep(0, false), -2);
    EXPECT_EQ(SpeedStep(-2, true), 0);
    EXPECT_EQ(SpeedStep(8, false), 4);
    EXPECT_EQ(SpeedStep(5, true), 2);
    EXPECT_EQ(SpeedText(0), "1");
    EXPECT_EQ(SpeedText(-4), "-4");
    EXPECT_EQ(SpeedColour(0), QColor(255, 255, 255));
    EXPECT_EQ(SpeedColour(16), QColor(0, 255, 0));
    EXPECT_EQ(SpeedColour(-2), QColor(255, 0, 0));
}

TEST(WaitDialog, ScansAndClosesItselfOrStopsOnRequest) {
    test::TempDir dir;
    dir.Write("a/H264_20150812_123000_N0_01.264", std::string(200, 'x'));
    ScanFilter f;
    f.root = dir.path().string();
    DayList days;
    {
        CDlgWait wait(f, days);
        EXPECT_EQ(wait.exec(), QDialog::Accepted);
    }
    EXPECT_EQ(days.size(), 1u);

    // Cancel before the scan reaches its first entry: "No" lets it run to the
    // end; "Yes" stops it, and the dialog still closes by itself with the days
    // found so far (none).
    for (bool yes : {false, true}) {
        DayList found;
        CDlgWait wait(f, found);
        int asked = 0;
        wait.confirmStop = [&] {
            ++asked;
            return yes;
        };
        wait.RequestStop();
        EXPECT_EQ(wait.exec(), QDialog::Accepted);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(found.size(), yes ? 0u : 1u);
    }
}
