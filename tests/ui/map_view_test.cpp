// The map pane without the browser engine: the page choice, the two copies of
// the map type, lazy start, and the plain-words failure path. The engine
// itself runs in map_page_tests.
#include "ui/map_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QUrl>
#include <cstdlib>
#include <fstream>

#include "common/temp_dir.h"
#include "config/program_folder.h"
#include "config/settings.h"
#include "ui/main_window.h"

using namespace corvane;

namespace {

// Points the engine at a helper program that is not there, for one test.
class MissingHelper {
public:
    MissingHelper() {
        const char* old = std::getenv("QTWEBENGINEPROCESS_PATH");
        if (old) saved_ = old, hadValue_ = true;
        setenv("QTWEBENGINEPROCESS_PATH", "/nonexistent/QtWebEngineProcess", 1);
    }
    ~MissingHelper() {
        if (hadValue_) setenv("QTWEBENGINEPROCESS_PATH", saved_.c_str(), 1);
        else unsetenv("QTWEBENGINEPROCESS_PATH");
    }

private:
    std::string saved_;
    bool hadValue_ = false;
};

}  // namespace

TEST(MapView, PageAddressFollowsTheMapType) {
    QString folder = QString::fromStdString(ProgramFolder());
    EXPECT_EQ(QUrl(MapPageUrl(1)).toLocalFile(), folder + "Map/Google/gmap_cn.html");
    EXPECT_EQ(QUrl(MapPageUrl(0)).toLocalFile(), folder + "Map/Baidu/baidu.html");
    EXPECT_EQ(QUrl(MapPageUrl(5)).toLocalFile(), folder + "Map/Baidu/baidu.html");
    EXPECT_TRUE(MapPageUrl(1).startsWith("file:///"));

    CMapIECtrl map;
    EXPECT_EQ(map.objectName(), "iectrl_map");
    map.SetPage(MapPageUrl(0), 0);
    EXPECT_EQ(map.MapType(), 0);
    EXPECT_EQ(map.PageType(), 0);
    EXPECT_EQ(map.Url(), MapPageUrl(0));
}

TEST(MapView, NoScriptCallsWithoutAPageAndNoEngineWhileHidden) {
    CMapIECtrl map;
    map.SetPage(QUrl::fromLocalFile(QCoreApplication::applicationFilePath()).toString(), 1);
    EXPECT_FALSE(map.CallScript("insertVehicle", {"Car"}));
    map.Navigate();  // hidden: nothing starts
    QCoreApplication::processEvents();
    EXPECT_FALSE(map.BrowserStarted());
    EXPECT_TRUE(map.Problem().isEmpty());
    EXPECT_FALSE(map.CallScript("insertVehicle", {"Car"}));
}

TEST(MapView, MissingPageIsReportedWithoutStartingTheEngine) {
    CMapIECtrl map;
    map.SetPage(QUrl::fromLocalFile("/nonexistent/Map/Google/gmap_cn.html").toString(), 1);
    map.show();
    map.Navigate();
    QCoreApplication::processEvents();
    EXPECT_FALSE(map.BrowserStarted());
    EXPECT_TRUE(map.Problem().contains("/nonexistent/Map/Google/gmap_cn.html")) << map.Problem().toStdString();
    auto* label = map.findChild<QLabel*>("map_problem");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), map.Problem());
}

TEST(MapView, EngineThatCannotStartLeavesAPlainMessage) {
    MissingHelper helper;
    EXPECT_TRUE(CMapIECtrl::EngineProblem().contains("/nonexistent/QtWebEngineProcess"));
    CMapIECtrl map;
    // Any existing file will do as the page: the engine is what fails.
    map.SetPage(QUrl::fromLocalFile(QCoreApplication::applicationFilePath()).toString(), 1);
    map.Navigate();
    QCoreApplication::processEvents();
    EXPECT_TRUE(map.Problem().isEmpty());  // still hidden: not tried yet
    map.show();
    QCoreApplication::processEvents();  // the start is queued behind the show
    QCoreApplication::processEvents();
    EXPECT_FALSE(map.BrowserStarted());
    EXPECT_TRUE(map.Problem().startsWith("The map cannot be shown")) << map.Problem().toStdString();
    EXPECT_TRUE(map.findChild<QLabel*>("map_problem")->isVisible());
    EXPECT_FALSE(map.CallScript("insertVehicle", {"Car"}));
}

TEST(MapView, BrowserModuleThatDoesNotLoadGivesTheReason) {
    test::TempDir dir;
    std::string fake = dir.File("libcorvane_mapbrowser.so");
    std::ofstream(fake) << "not a shared object";
    QString why;
    EXPECT_EQ(LoadMapBrowserModule(QString::fromStdString(fake), &why), nullptr);
    EXPECT_FALSE(why.isEmpty());
    why.clear();
    EXPECT_EQ(LoadMapBrowserModule("/nonexistent/libcorvane_mapbrowser.so", &why), nullptr);
    EXPECT_FALSE(why.isEmpty());
}

TEST(MapView, MainWindowChoosesThePageFromTheSettings) {
    AppSettings saved = g_AppSettings;
    g_AppSettings.MapName = 0;
    g_AppSettings.ShowMap = 1;
    {
        CMainWindow w;  // never shown: the browser engine stays off
        CMapIECtrl* map = w.MapCtrl();
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(w.findChild<CMapIECtrl*>("iectrl_map"), map);
        EXPECT_EQ(map->Url(), MapPageUrl(0));
        EXPECT_EQ(map->MapType(), 0);
        EXPECT_TRUE(map->isVisibleTo(&w));

        // The options dialog confirmed with only the pane switched off: no change
        // until the next start.
        g_AppSettings.ShowMap = 0;
        w.ApplyMapOptions();
        EXPECT_TRUE(map->isVisibleTo(&w));
        // With another map type the page is chosen again, and the pane follows.
        g_AppSettings.MapName = 1;
        w.ApplyMapOptions();
        EXPECT_EQ(map->Url(), MapPageUrl(1));
        EXPECT_EQ(map->PageType(), 1);
        EXPECT_FALSE(map->isVisibleTo(&w));

        w.StartMapFeed(" Bus 9\t", [] { return GroupGpsFix{}; });
        EXPECT_EQ(w.MapFeed().VehicleName(), "Bus 9");
        w.StopMapFeed();
        EXPECT_FALSE(map->BrowserStarted());
    }
    g_AppSettings = saved;
}
