#include "codecs/video_encoder.h"

#include <gtest/gtest.h>

#include <set>

#include "common/test_video.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// NAL unit types found after the start codes of an Annex-B access unit.
std::set<int> NalTypes(const std::vector<uint8_t>& au, VideoCodec codec) {
    std::set<int> types;
    for (size_t i = 0; i + 3 < au.size(); ++i)
        if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1)
            types.insert(codec == VideoCodec::kH264 ? au[i + 3] & 0x1F : (au[i + 3] >> 1) & 0x3F);
    return types;
}

}  // namespace

// A key frame every 25 pictures, each with the parameter sets in front, so
// that playback can start at any key frame; one access unit per picture.
TEST(VideoEncoder, KeyFramesEvery25PicturesCarryTheirParameterSets) {
    for (VideoCodec codec : {VideoCodec::kH264, VideoCodec::kH265}) {
        const auto units = EncodeTestClip(codec, 64, 48, 60);
        ASSERT_EQ(units.size(), 60u);
        const std::set<int> headers = codec == VideoCodec::kH264 ? std::set<int>{7, 8}
                                                                 : std::set<int>{32, 33, 34};
        for (size_t i = 0; i < units.size(); ++i) {
            SCOPED_TRACE("picture " + std::to_string(i));
            EXPECT_EQ(units[i].index, int64_t(i));
            EXPECT_EQ(units[i].keyFrame, i % 25 == 0);
            const std::set<int> types = NalTypes(units[i].data, codec);
            for (int t : headers) EXPECT_EQ(types.count(t), i % 25 == 0 ? 1u : 0u);
        }
    }
}

TEST(VideoEncoder, SameInputGivesTheSameBytes) {
    for (VideoCodec codec : {VideoCodec::kH264, VideoCodec::kH265}) {
        const auto a = EncodeTestClip(codec, 64, 48, 10);
        const auto b = EncodeTestClip(codec, 64, 48, 10);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].data, b[i].data);
    }
}

TEST(VideoEncoder, RefusesBadSizesAndMismatchedImages) {
    VideoEncoder encoder;
    VideoEncoderOptions options;
    options.width = 63;
    options.height = 48;
    EXPECT_FALSE(encoder.Open(options));
    EXPECT_FALSE(encoder.Error().empty());

    VideoEncoder other;
    options.width = 64;
    ASSERT_TRUE(other.Open(options)) << other.Error();
    std::vector<EncodedUnit> out;
    EXPECT_FALSE(other.Encode(Yuv420Image(32, 48), out));
    EXPECT_TRUE(out.empty());
}
