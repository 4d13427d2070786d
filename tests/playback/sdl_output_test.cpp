// The SDL output on SDL's dummy video driver: windows of SDL's own, drawn by
// the software renderer, read back pixel by pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "playback/sdl_video.h"
#include "playback_fixture.h"

using namespace corvane;
using namespace corvane::test;

namespace {

struct Solid {
    std::vector<uint8_t> y, u, v;
    PictureRef ref;
    Solid(int w, int h, uint8_t Y, uint8_t U, uint8_t V)
        : y(size_t(w) * h, Y), u(size_t(w / 2) * (h / 2), U), v(size_t(w / 2) * (h / 2), V) {
        ref.plane[0] = y.data();
        ref.plane[1] = u.data();
        ref.plane[2] = v.data();
        ref.pitch[0] = w;
        ref.pitch[1] = ref.pitch[2] = w / 2;
        ref.width = w;
        ref.height = h;
    }
};

// Share of pixels whose red, green and blue are each within 24 of the colour.
double Matching(const std::vector<uint32_t>& pixels, int r, int g, int b) {
    size_t n = 0;
    for (uint32_t p : pixels) {
        const int pr = int(p >> 16 & 0xFF), pg = int(p >> 8 & 0xFF), pb = int(p & 0xFF);
        if (std::abs(pr - r) <= 24 && std::abs(pg - g) <= 24 && std::abs(pb - b) <= 24) ++n;
    }
    return pixels.empty() ? 0 : double(n) / double(pixels.size());
}

class SdlOutputTest : public PlaybackTest {
protected:
    SdlOutputTest() { setenv("SDL_VIDEODRIVER", "dummy", 1); }
};

}  // namespace

TEST_F(SdlOutputTest, PicturesFillTheWindowAndFollowItsSize) {
    SdlVideo sdl;
    ASSERT_TRUE(sdl.Ok());
    SdlVideoOutput out(sdl, SdlTarget{0, 32, 24});
    bool accelerated = true;
    ASSERT_TRUE(out.Create(16, 16, &accelerated));
    EXPECT_FALSE(accelerated);  // the dummy driver has only the software renderer

    Solid red(16, 16, 81, 90, 240);
    out.Present(red.ref);
    out.Flush();
    EXPECT_EQ(out.Presented(), 1u);
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    ASSERT_TRUE(out.ReadPixels(pixels, w, h));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 24);
    EXPECT_GT(Matching(pixels, 255, 0, 0), 0.99);

    // A size change re-creates window, renderer and texture.
    out.Destroy();
    EXPECT_FALSE(out.ReadPixels(pixels, w, h));
    out.SetTarget(SdlTarget{0, 48, 40});
    ASSERT_TRUE(out.Create(16, 16, &accelerated));
    Solid blue(8, 8, 41, 240, 110);  // another picture size than the texture's
    out.Present(blue.ref);
    out.Flush();
    ASSERT_TRUE(out.ReadPixels(pixels, w, h));
    EXPECT_EQ(w, 48);
    EXPECT_EQ(h, 40);
    EXPECT_GT(Matching(pixels, 0, 0, 255), 0.99);
}

TEST_F(SdlOutputTest, DecodingThreadsPresentThroughTheVideoThread) {
    SdlVideo sdl;
    ASSERT_TRUE(sdl.Ok());
    SdlVideoOutputFactory factory(sdl, [](int) { return SdlTarget{0, 40, 30}; });
    env_.video = &factory;
    RecordingOptions o;
    o.channels = 2;
    o.seconds = 1;
    OpenedRecording& r = Write(o);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitForQueuesEmpty());
    for (int c = 0; c < 2; ++c) {
        CVideoPort& port = *Group().Port(c);
        EXPECT_EQ(port.RenderFlag(), 0);
        char title[64];
        std::snprintf(title, sizeof title, "!%d! 64x48x25 == Software", c + 1);
        EXPECT_EQ(port.TitleBarText(), std::string(title));
        auto* out = static_cast<SdlVideoOutput*>(port.Draw().Output());
        out->Flush();
        EXPECT_GT(out->Presented(), 0u);
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        ASSERT_TRUE(out->ReadPixels(pixels, w, h));
        EXPECT_LT(Matching(pixels, 0, 0, 0), 0.5);  // a picture, not black
    }
    // Resizing the cells re-creates every open channel's output.
    Group().OnSize(Rect{0, 0, 300, 200});
    EXPECT_TRUE(Group().Port(0)->Draw().IsReady());
    Group().StopPlayback();
    Group().ResetState();
    group_.reset();  // the outputs go before the video thread
}
