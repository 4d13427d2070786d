#include <gtest/gtest.h>

#include "playback_fixture.h"

using namespace corvane;
using namespace corvane::test;

namespace {

class RecordingView : public PortView {
public:
    void Move(const Rect& r, bool) override { moves.push_back(r); }
    void SetVisible(bool v) override { visible = v; }
    void InvalidateFrame() override { ++frames; }
    void InvalidateAll() override { ++all; }
    std::vector<Rect> moves;
    bool visible = true;
    int frames = 0, all = 0;
};

using LayoutTest = PlaybackTest;

}  // namespace

TEST_F(LayoutTest, GridsFollowTheModeAndLaterModesLeaveUnusedCellsAlone) {
    CVideoGroup& g = Group();
    ASSERT_EQ(g.ChannelCount(), 8);
    EXPECT_EQ(g.LayoutMode(), 1);
    g.SetLayoutMode(2);
    g.OnSize(Rect{0, 0, 101, 61});
    for (int k = 0; k < 8; ++k) {
        const Rect cell{(k % 3) * 33, (k / 3) * 20, (k % 3) * 33 + 33, (k / 3) * 20 + 20};
        EXPECT_EQ(g.Port(k)->WindowRect(), cell) << k;
        EXPECT_EQ(g.Port(k)->savedCell, cell) << k;
    }
    g.SetLayoutMode(1);
    g.OnSize(Rect{10, 20, 110, 120});
    EXPECT_EQ(g.Port(0)->WindowRect(), (Rect{10, 20, 60, 70}));
    EXPECT_EQ(g.Port(3)->WindowRect(), (Rect{60, 70, 110, 120}));
    EXPECT_EQ(g.Port(4)->WindowRect(), (Rect{33, 20, 66, 40}));  // where mode 2 put it
    EXPECT_EQ(g.Port(7)->WindowRect(), (Rect{33, 40, 66, 60}));
    g.SetLayoutMode(0);
    g.Relayout();
    for (int k = 0; k < 8; ++k) EXPECT_EQ(g.Port(k)->WindowRect(), (Rect{10, 20, 110, 120}));
    g.SetLayoutMode(7);
    g.OnSize(Rect{0, 0, 50, 50});
    EXPECT_EQ(g.Port(0)->WindowRect(), (Rect{10, 20, 110, 120}));
}

TEST_F(LayoutTest, ZoomCoversTheGroupAndUnzoomCatchesUpOnAPendingRelayout) {
    CVideoGroup& g = Group();
    g.OnSize(Rect{0, 0, 200, 100});
    RecordingView view2, view3;
    g.Port(2)->SetView(&view2);
    g.Port(3)->SetView(&view3);

    // A double click on a closed channel does nothing.
    g.Port(2)->OnLeftDoubleClick();
    EXPECT_EQ(g.ZoomedChannel(), nullptr);
    EXPECT_EQ(g.Selected(), g.Port(0));

    RecordingOptions o;
    o.realVideo = false;
    OpenedRecording& r = Write(o);
    g.SelectChannel(0);
    ASSERT_EQ(g.Port(2)->OpenChannel(r.recording, nullptr), 0);  // a one-channel recording has no channel 3
    RecordingOptions four;
    four.channels = 4;
    four.realVideo = false;
    four.stamp = "20160920_200000";
    OpenedRecording& r4 = Write(four);
    ASSERT_TRUE(Open(r4));

    g.Port(2)->OnLeftDoubleClick();
    EXPECT_EQ(g.Selected(), g.Port(2));
    EXPECT_TRUE(g.Port(2)->IsSelected());
    EXPECT_FALSE(g.Port(0)->IsSelected());
    EXPECT_EQ(g.ZoomedChannel(), g.Port(2));
    EXPECT_EQ(g.Port(2)->WindowRect(), (Rect{0, 0, 200, 100}));
    for (int k = 0; k < 8; ++k) EXPECT_EQ(g.Port(k)->IsVisible(), k == 2) << k;
    EXPECT_FALSE(view3.visible);

    // The window grows while zoomed: only the zoomed channel follows now.
    g.OnSize(Rect{0, 0, 400, 300});
    EXPECT_TRUE(g.RelayoutPending());
    EXPECT_EQ(g.Port(2)->WindowRect(), (Rect{0, 0, 400, 300}));
    EXPECT_EQ(g.Port(3)->WindowRect(), (Rect{100, 50, 200, 100}));

    // Zooming another channel while one is zoomed switches straight to it,
    // and a double click on it then goes back to the grid.
    g.ZoomChannel(g.Port(1), true);
    EXPECT_EQ(g.ZoomedChannel(), g.Port(1));
    EXPECT_EQ(g.Port(1)->WindowRect(), (Rect{0, 0, 400, 300}));
    for (int k = 0; k < 8; ++k) EXPECT_EQ(g.Port(k)->IsVisible(), k == 1) << k;
    EXPECT_EQ(g.Port(2)->zoom, 0);
    g.Port(1)->OnLeftDoubleClick();
    EXPECT_EQ(g.ZoomedChannel(), nullptr);
    g.Port(2)->OnLeftDoubleClick();
    EXPECT_EQ(g.ZoomedChannel(), g.Port(2));

    g.Port(2)->OnLeftDoubleClick();
    EXPECT_EQ(g.ZoomedChannel(), nullptr);
    EXPECT_FALSE(g.RelayoutPending());
    EXPECT_EQ(g.Port(2)->zoom, 0);
    EXPECT_EQ(g.Port(2)->WindowRect(), (Rect{0, 150, 200, 300}));
    EXPECT_EQ(g.Port(3)->WindowRect(), (Rect{200, 150, 400, 300}));
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(g.Port(k)->IsVisible()) << k;
    EXPECT_TRUE(view3.visible);
    EXPECT_EQ(view2.moves.back(), (Rect{0, 150, 200, 300}));
    g.Port(2)->SetView(nullptr);
    g.Port(3)->SetView(nullptr);
}

TEST_F(LayoutTest, TitlesShowChannelSizeRateAndRenderer) {
    RecordingOptions o;
    o.channels = 2;
    o.realVideo = false;
    o.fps = 12;
    OpenedRecording& r = Write(o);
    RecordingView view;
    Group().Port(1)->SetView(&view);
    video_.Output(1)->accelerated = false;
    ASSERT_TRUE(Open(r));
    EXPECT_EQ(Group().Port(0)->TitleBarText(), "!1! 64x48x12 == Hardware");
    EXPECT_EQ(Group().Port(1)->TitleBarText(), "!2! 64x48x12 == Software");
    EXPECT_GT(view.frames, 0);
    Group().StopPlayback();
    Group().ResetState();
    EXPECT_EQ(Group().Port(1)->TitleBarText(), "");
    EXPECT_GT(view.all, 0);
    Group().Port(1)->SetView(nullptr);
}
