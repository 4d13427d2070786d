// The map pages in the real browser engine (offscreen): the six script
// functions called through the map control, the page's state read back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <cstdlib>

#include "ui/map_view.h"

using namespace corvane;

namespace {

QJsonObject Evaluate(CMapIECtrl& map, const QString& script) {
    QVariant result;
    bool done = false;
    QEventLoop loop;
    EXPECT_TRUE(map.Evaluate(script, [&](const QVariant& v) {
        result = v;
        done = true;
        loop.quit();
    }));
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!done) loop.exec();
    EXPECT_TRUE(done) << script.toStdString();
    return QJsonDocument::fromJson(result.toString().toUtf8()).object();
}

QJsonObject State(CMapIECtrl& map) { return Evaluate(map, "mapState()"); }

class MapPage : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        QString problem = CMapIECtrl::EngineProblem();
        if (!problem.isEmpty()) GTEST_SKIP() << problem.toStdString();
        QString page = GetParam() == 1 ? "Google/gmap_cn.html" : "Baidu/baidu.html";
        map_.resize(640, 480);
        map_.SetPage(QUrl::fromLocalFile(CORVANE_TEST_MAP_DIR "/" + page).toString(), GetParam());
        QSignalSpy loaded(&map_, &CMapIECtrl::PageLoaded);
        map_.show();
        map_.Navigate();
        ASSERT_TRUE(loaded.wait(60000)) << "page did not load";
        ASSERT_TRUE(loaded.at(0).at(0).toBool()) << map_.Problem().toStdString();
        ASSERT_TRUE(map_.PageReady());
    }
    CMapIECtrl map_;
};

}  // namespace

TEST_P(MapPage, SixFunctionsDriveTheVehicle) {
    QJsonObject start = State(map_);
    ASSERT_TRUE(start["ready"].toBool()) << "the map did not start in the page";

    // A name that would break out of a quoted argument or inject markup.
    const std::string name = "Truck \"7\" <b>x</b>\");window.injected=1;(\"";
    const std::string label = "<img src=x onerror=\"window.injected=2\">";
    ASSERT_TRUE(map_.CallScript("insertVehicle", {name}));
    ASSERT_TRUE(map_.CallScript("setVehiName", {name, label}));
    ASSERT_TRUE(map_.CallScript("setCenter", {"1", "1", "16", "1"}));
    ASSERT_TRUE(map_.CallScript("updateVehicle", {name, "114.058441", "22.538941", "2.000000", "0", "12.5", "", ""}));
    ASSERT_TRUE(map_.CallScript("selectVehicleEx", {name, "0"}));
    ASSERT_TRUE(map_.CallScript("updateVehicle", {name, "114.059000", "22.539500", "4.000000", "0", "30.0", "", ""}));
    // The timer keeps sending the same fix while paused: no new track point.
    ASSERT_TRUE(map_.CallScript("updateVehicle", {name, "114.059000", "22.539500", "4.000000", "0", "30.0", "", ""}));
    ASSERT_TRUE(map_.CallScript("selectVehicleEx", {name, "0"}));

    QJsonObject state = State(map_);
    QJsonObject v = state["vehicles"].toObject()[QString::fromStdString(name)].toObject();
    ASSERT_FALSE(v.isEmpty()) << QJsonDocument(state).toJson().toStdString();
    EXPECT_DOUBLE_EQ(v["lon"].toDouble(), 114.059);
    EXPECT_DOUBLE_EQ(v["lat"].toDouble(), 22.5395);
    EXPECT_DOUBLE_EQ(v["heading"].toDouble(), 180);
    EXPECT_DOUBLE_EQ(v["speed"].toDouble(), 30);
    EXPECT_EQ(v["track"].toInt(), 2);
    EXPECT_TRUE(v["onMap"].toBool());
    EXPECT_TRUE(v["selected"].toBool());
    EXPECT_EQ(v["shownLabel"].toString().toStdString(), label);  // shown as text
    EXPECT_EQ(state["zoom"].toInt(), 16);
    EXPECT_NEAR(state["center"].toObject()["lat"].toDouble(), 22.5389, 0.01);
    EXPECT_NEAR(state["center"].toObject()["lon"].toDouble(), 114.0584, 0.01);

    QJsonObject dom = Evaluate(map_,
                               "JSON.stringify({injected: typeof window.injected,"
                               " markup: document.querySelectorAll('.vehicle-name b, .vehicle-name img').length,"
                               " markers: document.querySelectorAll('.vehicle').length,"
                               " grid: document.querySelectorAll('.leaflet-grid-pane path').length,"
                               " scale: document.querySelectorAll('.leaflet-control-scale').length})");
    EXPECT_EQ(dom["injected"].toString().toStdString(), "undefined");
    EXPECT_EQ(dom["markup"].toInt(), 0);
    EXPECT_EQ(dom["markers"].toInt(), 1);
    EXPECT_GT(dom["grid"].toInt(), 0);
    EXPECT_EQ(dom["scale"].toInt(), 1);

    ASSERT_TRUE(map_.CallScript("deleteVehicle", {name}));
    state = State(map_);
    EXPECT_TRUE(state["vehicles"].toObject().isEmpty());
    EXPECT_EQ(Evaluate(map_, "JSON.stringify({n: document.querySelectorAll('.vehicle').length})")["n"].toInt(), 0);

    // An update for a vehicle the page never heard of (its insert was lost
    // while the page loaded) still shows it; a new insert starts a new track.
    ASSERT_TRUE(map_.CallScript("updateVehicle", {"Car", "114.1", "22.6", "0.000000", "0", "0.0", "", ""}));
    ASSERT_TRUE(map_.CallScript("insertVehicle", {"Car"}));
    ASSERT_TRUE(map_.CallScript("updateVehicle", {"Car", "114.2", "22.7", "1.000000", "0", "0.0", "", ""}));
    v = State(map_)["vehicles"].toObject()["Car"].toObject();
    EXPECT_EQ(v["track"].toInt(), 1);
    EXPECT_DOUBLE_EQ(v["heading"].toDouble(), 45);
    // Unknown functions and bad numbers change nothing and raise nothing.
    EXPECT_TRUE(map_.CallScript("noSuchFunction", {"x"}));
    ASSERT_TRUE(map_.CallScript("updateVehicle", {"Car", "east", "22.8", "1.000000", "0", "0.0", "", ""}));
    EXPECT_EQ(State(map_)["vehicles"].toObject()["Car"].toObject()["track"].toInt(), 1);
}

TEST_P(MapPage, PageProcessThatDiesLeavesAPlainMessage) {
    qint64 pid = map_.PageProcessId();
    ASSERT_GT(pid, 0);
    QSignalSpy failed(&map_, &CMapIECtrl::PageLoaded);
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    ASSERT_TRUE(failed.wait(30000));
    EXPECT_FALSE(failed.at(0).at(0).toBool());
    EXPECT_FALSE(map_.PageReady());
    EXPECT_TRUE(map_.Problem().startsWith("The map stopped")) << map_.Problem().toStdString();
    EXPECT_TRUE(map_.findChild<QLabel*>("map_problem")->isVisible());
    EXPECT_FALSE(map_.CallScript("updateVehicle", {"Car", "114", "22", "0", "0", "0", "", ""}));
}

INSTANTIATE_TEST_SUITE_P(BothPages, MapPage, ::testing::Values(1, 0),
                         [](const auto& info) { return info.param == 1 ? "Google" : "Baidu"; });

// The second page's plane: a published example point and the round trip.
TEST(SecondSystemPlane, ProjectsLikeTheServiceAndBack) {
    if (!CMapIECtrl::EngineProblem().isEmpty()) GTEST_SKIP() << CMapIECtrl::EngineProblem().toStdString();
    CMapIECtrl map;
    map.resize(320, 240);
    map.SetPage(QUrl::fromLocalFile(CORVANE_TEST_MAP_DIR "/Baidu/baidu.html").toString(), 0);
    QSignalSpy loaded(&map, &CMapIECtrl::PageLoaded);
    map.show();
    map.Navigate();
    ASSERT_TRUE(loaded.wait(60000));
    QJsonObject r = Evaluate(map,
                             "(function(){var P=SecondSystemCRS.projection;"
                             "var p=P.project(L.latLng(39.914889,116.403874));"
                             "var q=P.unproject(P.project(L.latLng(-33.9,151.2)));"
                             "var s=P.unproject(P.project(L.latLng(22.5,114.05)));"
                             "return JSON.stringify({x:p.x,y:p.y,qlat:q.lat,qlon:q.lng,slat:s.lat,slon:s.lng});})()");
    EXPECT_NEAR(r["x"].toDouble(), 12958160.97, 1.0);
    EXPECT_NEAR(r["y"].toDouble(), 4825907.72, 1.0);
    EXPECT_NEAR(r["qlat"].toDouble(), -33.9, 1e-5);
    EXPECT_NEAR(r["qlon"].toDouble(), 151.2, 1e-5);
    EXPECT_NEAR(r["slat"].toDouble(), 22.5, 1e-5);
    EXPECT_NEAR(r["slon"].toDouble(), 114.05, 1e-5);
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The engine refuses to run for root with its sandbox; so does the player.
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    corvane::AddMapModuleFolder(CORVANE_TEST_BIN_DIR);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
