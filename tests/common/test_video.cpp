#include "common/test_video.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace corvane::test {

Yuv420Image TestPicture(int width, int height, int index) {
    Yuv420Image image(width, height);
    const int block = std::max(4, width / 8);
    const int bx = (index * 3) % std::max(1, width - block);
    const int by = (index * 2) % std::max(1, height - block);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool inBlock = x >= bx && x < bx + block && y >= by && y < by + block;
            image.y[size_t(y) * width + x] =
                inBlock ? 235 : uint8_t(16 + ((x + y + index * 2) * 160 / (width + height)) % 200);
        }
    const int cw = width / 2, ch = height / 2;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            image.u[size_t(y) * cw + x] = uint8_t(64 + x * 128 / std::max(1, cw));
            image.v[size_t(y) * cw + x] = uint8_t(192 - y * 128 / std::max(1, ch));
        }
    return image;
}

std::vector<EncodedUnit> EncodeTestClip(VideoCodec codec, int width, int height, int count,
                                        int first, int bFrames) {
    VideoEncoderOptions options;
    options.codec = codec;
    options.width = width;
    options.height = height;
    options.crf = 18;
    options.preset = "ultrafast";
    options.bFrames = bFrames;
    VideoEncoder encoder;
    std::vector<EncodedUnit> units;
    if (!encoder.Open(options)) {
        ADD_FAILURE() << encoder.Error();
        return units;
    }
    for (int i = 0; i < count; ++i)
        if (!encoder.Encode(TestPicture(width, height, first + i), units)) {
            ADD_FAILURE() << encoder.Error();
            return units;
        }
    if (!encoder.Flush(units)) ADD_FAILURE() << encoder.Error();
    return units;
}

double PlaneError(const uint8_t* plane, int stride, const std::vector<uint8_t>& expected,
                  int rowBytes, int rows) {
    if (rowBytes <= 0 || rows <= 0) return 0;
    double sum = 0;
    for (int r = 0; r < rows; ++r)
        for (int x = 0; x < rowBytes; ++x)
            sum += std::abs(int(plane[size_t(r) * stride + x]) -
                            int(expected[size_t(r) * rowBytes + x]));
    return sum / (double(rowBytes) * rows);
}

}  // namespace corvane::test

// libx265 (3.5) leaks on every encoder it opens, inside its own frame filter
// and parameter copies; LeakSanitizer reads this list in sanitizer builds.
// Leaks in our code or in libavcodec are still reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
