#include "codecs/hi264dec.h"

#include <gtest/gtest.h>

#include <random>

#include "common/test_video.h"

using namespace corvane;
using namespace corvane::test;

namespace {

struct Shown {
    uint32_t width, height;
    uint64_t timestamp;
    double yError, uError, vError;  // against the picture the clip was made from
};

Hi264DecAttr Attr() { return Hi264DecAttr{0, 0, 40, 32, 25, 1, 0, 0}; }

// Decodes like the channel decoder: each access unit, then calls without a
// stream until nothing more can be output. `firstIndex`: index of the clip's
// first picture for the content check; a change of size restarts it there.
class Player {
public:
    explicit Player(Hi264DecHandle h) : h_(h) {}

    int Feed(const uint8_t* data, uint32_t size, uint64_t timestamp) {
        Hi264DecPicture picture{};
        int32_t r = Hi264DecFrame(h_, data, size, timestamp, &picture, 0);
        const int32_t first = r;
        for (int guard = 0; guard < 100; ++guard) {
            if (r == kHi264DecPictureOut) Record(picture);
            if (r == kHi264DecNeedMoreInput || r == kHi264DecNoMorePictures) return first;
            picture = {};
            r = Hi264DecFrame(h_, nullptr, 0, 0, &picture, 0);
        }
        ADD_FAILURE() << "decoder never said it needs more input";
        return first;
    }

    void Feed(const std::vector<EncodedUnit>& units, uint64_t firstTimestamp = 0) {
        for (size_t i = 0; i < units.size(); ++i)
            Feed(units[i].data.data(), uint32_t(units[i].data.size()),
                 firstTimestamp + i * 40);
    }

    void Record(const Hi264DecPicture& p) {
        EXPECT_EQ(p.yStride, p.width);
        EXPECT_EQ(p.uvStride, p.width / 2);
        const int w = int(p.width), h = int(p.height);
        if (shown.empty() || shown.back().width != p.width) indexInClip_ = 0;
        const Yuv420Image expected = TestPicture(w, h, indexInClip_++);
        shown.push_back({p.width, p.height, p.timestamp, PlaneError(p.y, w, expected.y, w, h),
                         PlaneError(p.u, w / 2, expected.u, w / 2, h / 2),
                         PlaneError(p.v, w / 2, expected.v, w / 2, h / 2)});
    }

    std::vector<Shown> shown;

private:
    Hi264DecHandle h_;
    int indexInClip_ = 0;
};

void ExpectClose(const Shown& s) {
    EXPECT_LT(s.yError, 4.0);
    EXPECT_LT(s.uError, 4.0);
    EXPECT_LT(s.vError, 4.0);
}

}  // namespace

TEST(Hi264Dec, CreateRefusesMissingOrUnknownAttributes) {
    EXPECT_EQ(Hi264DecCreate(nullptr), nullptr);
    Hi264DecAttr attr = Attr();
    attr.pictureFormat = 1;
    EXPECT_EQ(Hi264DecCreate(&attr), nullptr);
    Hi264DecPicture picture{};
    EXPECT_EQ(Hi264DecFrame(nullptr, nullptr, 0, 0, &picture, 0), kHi264DecBadArgument);
    Hi264DecDestroy(nullptr);
}

// Every access unit gives its picture in the same call, with its time stamp,
// packed planes and the right content; sizes whose line sizes the decoder pads
// are copied out packed.
TEST(Hi264Dec, DecodesEachAccessUnitToItsPicture) {
    for (auto [w, h] : {std::pair{64, 48}, std::pair{88, 72}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const auto units = EncodeTestClip(VideoCodec::kH264, w, h, 30);
        ASSERT_EQ(units.size(), 30u);
        Hi264DecAttr attr = Attr();
        Hi264DecHandle d = Hi264DecCreate(&attr);
        ASSERT_NE(d, nullptr);
        Player player(d);
        for (size_t i = 0; i < units.size(); ++i) {
            const size_t before = player.shown.size();
            EXPECT_EQ(player.Feed(units[i].data.data(), uint32_t(units[i].data.size()), 1000 + i),
                      kHi264DecPictureOut);
            ASSERT_EQ(player.shown.size(), before + 1) << "access unit " << i;
            EXPECT_EQ(player.shown.back().timestamp, 1000 + i);
        }
        for (const Shown& s : player.shown) {
            EXPECT_EQ(s.width, uint32_t(w));
            EXPECT_EQ(s.height, uint32_t(h));
            ExpectClose(s);
        }
        Hi264DecDestroy(d);
    }
}

TEST(Hi264Dec, FollowsAChangeOfPictureSize) {
    auto units = EncodeTestClip(VideoCodec::kH264, 64, 48, 10);
    const auto larger = EncodeTestClip(VideoCodec::kH264, 128, 96, 10);
    units.insert(units.end(), larger.begin(), larger.end());
    Hi264DecAttr attr = Attr();
    Hi264DecHandle d = Hi264DecCreate(&attr);
    ASSERT_NE(d, nullptr);
    Player player(d);
    player.Feed(units);
    ASSERT_EQ(player.shown.size(), 20u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(player.shown[i].width, i < 10 ? 64u : 128u);
        EXPECT_EQ(player.shown[i].height, i < 10 ? 48u : 96u);
        ExpectClose(player.shown[i]);
    }
    Hi264DecDestroy(d);
}

// Damaged input: no picture, no crash, the caller's loop still ends, and the
// next key frame decodes again.
TEST(Hi264Dec, SurvivesDamagedInputAndRecoversAtTheNextKeyFrame) {
    const auto units = EncodeTestClip(VideoCodec::kH264, 64, 48, 26);
    Hi264DecAttr attr = Attr();
    Hi264DecHandle d = Hi264DecCreate(&attr);
    ASSERT_NE(d, nullptr);
    Player player(d);
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i) {
        std::vector<uint8_t> junk(1 + random() % 3000);
        for (auto& b : junk) b = uint8_t(random());
        if (i % 2) junk[0] = 0, junk[1] = 0, junk[2] = 1;  // looks like a NAL unit
        player.Feed(junk.data(), uint32_t(junk.size()), 0);
    }
    // A P-frame without its references is not shown as a picture of its own.
    player.Feed(units[5].data.data(), uint32_t(units[5].data.size()), 0);
    EXPECT_TRUE(player.shown.empty());
    const uint8_t* key = units[25].data.data();
    ASSERT_TRUE(units[25].keyFrame);
    EXPECT_EQ(player.Feed(key, uint32_t(units[25].data.size()), 0), kHi264DecPictureOut);
    ASSERT_EQ(player.shown.size(), 1u);
    EXPECT_EQ(player.shown[0].width, 64u);
    Hi264DecDestroy(d);
}

// With B-frames pictures are held back and come out in display order; the end
// of stream gives the last ones, then the decoder takes a new stream.
TEST(Hi264Dec, EndOfStreamGivesHeldBackPicturesInDisplayOrder) {
    const auto units = EncodeTestClip(VideoCodec::kH264, 64, 48, 20, 0, 2);
    ASSERT_EQ(units.size(), 20u);
    Hi264DecAttr attr = Attr();
    Hi264DecHandle d = Hi264DecCreate(&attr);
    ASSERT_NE(d, nullptr);
    Player player(d);
    for (const auto& u : units)
        player.Feed(u.data.data(), uint32_t(u.data.size()), uint64_t(u.index));
    EXPECT_LT(player.shown.size(), 20u);
    Hi264DecPicture picture{};
    int32_t r;
    while ((r = Hi264DecFrame(d, nullptr, 0, 0, &picture, kHi264DecEndOfStream)) ==
           kHi264DecPictureOut) {
        player.Record(picture);
        picture = {};
    }
    EXPECT_EQ(r, kHi264DecNoMorePictures);
    ASSERT_EQ(player.shown.size(), 20u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(player.shown[i].timestamp, i);
        ExpectClose(player.shown[i]);
    }
    player.Feed(EncodeTestClip(VideoCodec::kH264, 64, 48, 3));
    EXPECT_EQ(player.shown.size(), 23u);
    Hi264DecDestroy(d);
}
