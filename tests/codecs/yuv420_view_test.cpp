#include "codecs/yuv420_view.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

using namespace corvane;

namespace {

// A frame whose samples are a function of plane, row and column.
AVFrame* MakeFrame(AVPixelFormat format, int w, int h, int align, int (*value)(int, int, int)) {
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = w;
    f->height = h;
    if (av_frame_get_buffer(f, align) < 0) return f;
    const bool wide = format == AV_PIX_FMT_YUV420P10LE;
    for (int p = 0; p < 3; ++p) {
        const bool halfHeight = format == AV_PIX_FMT_YUV420P || wide;
        const int cw = p == 0 || format == AV_PIX_FMT_YUV444P ? w : (w + 1) / 2;
        const int ch = p == 0 || !halfHeight ? h : (h + 1) / 2;
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x) {
                uint8_t* row = f->data[p] + y * f->linesize[p];
                if (wide) reinterpret_cast<uint16_t*>(row)[x] = uint16_t(value(p, y, x) * 4);
                else row[x] = uint8_t(value(p, y, x));
            }
    }
    return f;
}

int Pattern(int p, int y, int x) { return 40 * p + 7 * y + x; }
int Flat(int p, int, int) { return 50 + 60 * p; }

}  // namespace

// Padded line sizes: as they are when strides are allowed, rows of width and
// width / 2 when packed planes are asked for.
TEST(Yuv420Converter, PacksPaddedPlanesOnlyWhenAsked) {
    AVFrame* f = MakeFrame(AV_PIX_FMT_YUV420P, 6, 4, 64, Pattern);
    ASSERT_GE(f->linesize[0], 64);
    Yuv420Converter converter;
    Yuv420View view;
    ASSERT_TRUE(converter.View(*f, false, view));
    EXPECT_EQ(view.plane[0], f->data[0]);
    EXPECT_EQ(view.yStride, f->linesize[0]);

    ASSERT_TRUE(converter.View(*f, true, view));
    EXPECT_EQ(view.yStride, 6);
    EXPECT_EQ(view.uvStride, 3);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(view.plane[0][y * 6 + x], Pattern(0, y, x));
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(view.plane[p][y * 3 + x], Pattern(p, y, x));
    av_frame_free(&f);
}

// Other pixel formats become 8-bit 4:2:0; odd sizes keep width / 2 chroma.
TEST(Yuv420Converter, ConvertsOtherPixelFormats) {
    for (AVPixelFormat format : {AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUV420P10LE}) {
        for (auto [w, h] : {std::pair{8, 6}, std::pair{7, 5}}) {
            SCOPED_TRACE(std::to_string(format) + " " + std::to_string(w) + "x" +
                         std::to_string(h));
            AVFrame* f = MakeFrame(format, w, h, 0, Flat);
            Yuv420Converter converter;
            Yuv420View view;
            ASSERT_TRUE(converter.View(*f, true, view));
            EXPECT_EQ(view.width, w);
            EXPECT_EQ(view.yStride, w);
            EXPECT_EQ(view.uvStride, w / 2);
            for (int i = 0; i < w * h; ++i) EXPECT_NEAR(view.plane[0][i], 50, 1);
            for (int i = 0; i < (w / 2) * (h / 2); ++i) {
                EXPECT_NEAR(view.plane[1][i], 110, 1);
                EXPECT_NEAR(view.plane[2][i], 170, 1);
            }
            av_frame_free(&f);
        }
    }
}
