#include "hevc/ihw265d.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "common/test_video.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// What the callbacks saw; the callbacks are plain functions, so the test
// reaches them through this one record.
struct CallbackLog {
    int allocations = 0;
    int frees = 0;
    bool failAllocation = false;
    std::vector<uint32_t> channels;
    std::vector<std::pair<int32_t, std::string>> messages;
};
CallbackLog g_log;

void* Allocate(uint32_t channel, uint32_t size) {
    g_log.channels.push_back(channel);
    if (g_log.failAllocation) return nullptr;
    ++g_log.allocations;
    return std::malloc(size);
}

void Free(uint32_t channel, void* memory) {
    g_log.channels.push_back(channel);
    if (memory) ++g_log.frees;
    std::free(memory);
}

void Log(uint32_t channel, int32_t level, const char* format, ...) {
    g_log.channels.push_back(channel);
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_log.messages.emplace_back(level, text);
}

// The record as the channel decoder fills it for channel index 3.
IHW265D_InitParam Param() {
    return IHW265D_InitParam{4, 704, 576, 4, 2, 4, 16, 8, 0, 1, 0, Allocate, Free, Log};
}

class Ihw265d : public ::testing::Test {
protected:
    void SetUp() override { g_log = {}; }
};

struct Shown {
    uint32_t width, height;
    uint64_t timestamp;
    double yError, uError, vError;
};

// Decodes like the channel decoder: the access unit in a loop until the
// input is used up, advancing by the bytes consumed.
struct Player {
    explicit Player(IHW265D_Handle handle) : h(handle) {}

    IHW265D_Handle h;
    std::vector<Shown> shown;
    uint64_t consumedTotal = 0;
    int indexInClip = 0;

    uint32_t Feed(const uint8_t* data, uint32_t size, uint64_t timestamp,
                  uint32_t mode = IHW265D_DECODE_NORMAL) {
        IHW265D_InArgs in{data, size, timestamp, mode, 0};
        IHW265D_OutArgs out{};
        uint32_t first = IHW265D_OK;
        for (int guard = 0; guard < 100; ++guard) {
            out.bytesConsumed = 0;
            out.status = 3;
            const uint32_t r = IHW265D_Decode(h, &in, &out);
            if (guard == 0) first = r;
            if (out.status == IHW265D_INPUT_USED_UP || out.status == IHW265D_NO_MORE_OUTPUT)
                return first;
            EXPECT_EQ(out.status, IHW265D_PICTURE_READY);
            if (out.status != IHW265D_PICTURE_READY) return first;
            EXPECT_EQ(out.channelId, 4u);
            Record(out);
            EXPECT_LE(out.bytesConsumed, in.length);
            in.stream += out.bytesConsumed;
            in.length -= out.bytesConsumed;
            consumedTotal += out.bytesConsumed;
        }
        ADD_FAILURE() << "decoder never used up its input";
        return first;
    }

    void Feed(const std::vector<EncodedUnit>& units) {
        for (size_t i = 0; i < units.size(); ++i)
            Feed(units[i].data.data(), uint32_t(units[i].data.size()), i * 40);
    }

    void Record(const IHW265D_OutArgs& out) {
        const int w = int(out.width), h = int(out.height);
        EXPECT_GE(out.yStride, out.width);
        EXPECT_GE(out.uvStride, out.width / 2);
        if (!shown.empty() && shown.back().width != out.width) indexInClip = 0;
        const Yuv420Image expected = TestPicture(w, h, indexInClip++);
        shown.push_back({out.width, out.height, out.timestamp,
                         PlaneError(out.planes[0], int(out.yStride), expected.y, w, h),
                         PlaneError(out.planes[1], int(out.uvStride), expected.u, w / 2, h / 2),
                         PlaneError(out.planes[2], int(out.uvStride), expected.v, w / 2, h / 2)});
    }
};

void ExpectClose(const Shown& s) {
    EXPECT_LT(s.yError, 4.0);
    EXPECT_LT(s.uError, 4.0);
    EXPECT_LT(s.vError, 4.0);
}

}  // namespace

TEST_F(Ihw265d, CreateChecksEveryFieldOfTheInitialisationRecord) {
    struct Case {
        const char* name;
        void (*change)(IHW265D_InitParam&);
        uint32_t code;
    };
    const Case cases[] = {
        {"width 7", [](IHW265D_InitParam& p) { p.iMaxWidth = 7; }, IHW265D_ERR_MAX_WIDTH},
        {"width 16385", [](IHW265D_InitParam& p) { p.iMaxWidth = 16385; }, IHW265D_ERR_MAX_WIDTH},
        {"height 7", [](IHW265D_InitParam& p) { p.iMaxHeight = 7; }, IHW265D_ERR_MAX_HEIGHT},
        {"height -1", [](IHW265D_InitParam& p) { p.iMaxHeight = -1; }, IHW265D_ERR_MAX_HEIGHT},
        {"refs -1", [](IHW265D_InitParam& p) { p.iMaxRefNum = -1; }, IHW265D_ERR_MAX_REF_NUM},
        {"refs 16", [](IHW265D_InitParam& p) { p.iMaxRefNum = 16; }, IHW265D_ERR_MAX_REF_NUM},
        {"vps 0", [](IHW265D_InitParam& p) { p.iMaxVPSNum = 0; }, IHW265D_ERR_MAX_VPS_NUM},
        {"vps 17", [](IHW265D_InitParam& p) { p.iMaxVPSNum = 17; }, IHW265D_ERR_MAX_VPS_NUM},
        {"sps 0", [](IHW265D_InitParam& p) { p.iMaxSPSNum = 0; }, IHW265D_ERR_MAX_SPS_NUM},
        {"sps 17", [](IHW265D_InitParam& p) { p.iMaxSPSNum = 17; }, IHW265D_ERR_MAX_SPS_NUM},
        {"pps 0", [](IHW265D_InitParam& p) { p.iMaxPPSNum = 0; }, IHW265D_ERR_MAX_PPS_NUM},
        {"pps 65", [](IHW265D_InitParam& p) { p.iMaxPPSNum = 65; }, IHW265D_ERR_MAX_PPS_NUM},
        {"depth 9", [](IHW265D_InitParam& p) { p.iBitDepth = 9; }, 0xF0402003},
        {"depth 12", [](IHW265D_InitParam& p) { p.iBitDepth = 12; }, 0xF0402003},
        {"threads 3", [](IHW265D_InitParam& p) { p.eThreadType = 3; }, IHW265D_ERR_THREAD_TYPE},
        {"threads -1", [](IHW265D_InitParam& p) { p.eThreadType = -1; }, IHW265D_ERR_THREAD_TYPE},
        {"no malloc", [](IHW265D_InitParam& p) { p.MallocFxn = nullptr; }, IHW265D_ERR_NO_MALLOC},
        {"no free", [](IHW265D_InitParam& p) { p.FreeFxn = nullptr; }, IHW265D_ERR_NO_FREE},
        {"no log", [](IHW265D_InitParam& p) { p.LogFxn = nullptr; }, IHW265D_ERR_NO_LOG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IHW265D_InitParam p = Param();
        c.change(p);
        IHW265D_Handle h = reinterpret_cast<IHW265D_Handle>(1);
        EXPECT_EQ(IHW265D_Create(&h, &p), c.code);
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_EQ(g_log.allocations, 0);

    // The limits themselves are accepted.
    const IHW265D_InitParam limits[] = {
        {1, 8, 8, 0, 1, 1, 1, 10, 1, 0, 0, Allocate, Free, Log},
        {1, 16384, 16384, 15, 16, 16, 64, 8, 0, 1, 0, Allocate, Free, Log},
    };
    for (const IHW265D_InitParam& p : limits) {
        IHW265D_Handle h = nullptr;
        ASSERT_EQ(IHW265D_Create(&h, &p), IHW265D_OK);
        EXPECT_NE(h, nullptr);
        EXPECT_EQ(IHW265D_Delete(h), IHW265D_OK);
    }
    EXPECT_TRUE(g_log.messages.empty());
}

TEST_F(Ihw265d, NullArgumentsAndForeignHandlesGiveTheirCodes) {
    IHW265D_InitParam p = Param();
    IHW265D_Handle h = nullptr;
    EXPECT_EQ(IHW265D_Create(nullptr, &p), IHW265D_ERR_NULL_ARGUMENT);
    EXPECT_EQ(IHW265D_Create(&h, nullptr), IHW265D_ERR_NULL_ARGUMENT);
    ASSERT_EQ(IHW265D_Create(&h, &p), IHW265D_OK);

    IHW265D_InArgs in{nullptr, 0, 0, 0, 0};
    IHW265D_OutArgs out{};
    EXPECT_EQ(IHW265D_Decode(nullptr, &in, &out), IHW265D_ERR_NULL_ARGUMENT);
    EXPECT_EQ(IHW265D_Decode(h, nullptr, &out), IHW265D_ERR_NULL_ARGUMENT);
    EXPECT_EQ(IHW265D_Decode(h, &in, nullptr), IHW265D_ERR_NULL_ARGUMENT);
    in.length = 10;  // a length without bytes
    EXPECT_EQ(IHW265D_Decode(h, &in, &out), IHW265D_ERR_NULL_ARGUMENT);

    int foreign = 0;
    EXPECT_EQ(IHW265D_Decode(&foreign, &in, &out), IHW265D_ERR_FOREIGN_HANDLE);
    EXPECT_EQ(IHW265D_Delete(&foreign), IHW265D_ERR_FOREIGN_HANDLE);
    EXPECT_EQ(IHW265D_Delete(nullptr), IHW265D_ERR_NULL_ARGUMENT);
    EXPECT_EQ(IHW265D_Delete(h), IHW265D_OK);
    // Once deleted it is no longer ours.
    EXPECT_EQ(IHW265D_Delete(h), IHW265D_ERR_FOREIGN_HANDLE);
    EXPECT_EQ(IHW265D_Decode(h, &in, &out), IHW265D_ERR_FOREIGN_HANDLE);
}

TEST_F(Ihw265d, UsesTheCallbacksWithItsChannelId) {
    IHW265D_InitParam p = Param();
    p.eOutputOrder = 5;  // unknown: replaced, with a warning
    IHW265D_Handle h = nullptr;
    ASSERT_EQ(IHW265D_Create(&h, &p), IHW265D_OK);
    EXPECT_GE(g_log.allocations, 1);
    ASSERT_EQ(g_log.messages.size(), 1u);
    EXPECT_EQ(g_log.messages[0].first, IHW265D_LOG_WARNING);
    EXPECT_NE(g_log.messages[0].second.find('5'), std::string::npos);
    EXPECT_EQ(IHW265D_Delete(h), IHW265D_OK);
    EXPECT_EQ(g_log.frees, g_log.allocations);
    for (uint32_t channel : g_log.channels) EXPECT_EQ(channel, 4u);

    g_log = {};
    g_log.failAllocation = true;
    h = nullptr;
    EXPECT_EQ(IHW265D_Create(&h, &p), IHW265D_ERR_ALLOCATION);
    EXPECT_EQ(h, nullptr);
}

TEST_F(Ihw265d, DecodesEachAccessUnitToItsPictureInOrder) {
    const auto units = EncodeTestClip(VideoCodec::kH265, 64, 48, 30);
    ASSERT_EQ(units.size(), 30u);
    IHW265D_InitParam p = Param();
    IHW265D_Handle h = nullptr;
    ASSERT_EQ(IHW265D_Create(&h, &p), IHW265D_OK);
    Player player(h);
    uint64_t bytes = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        const size_t before = player.shown.size();
        EXPECT_EQ(player.Feed(units[i].data.data(), uint32_t(units[i].data.size()), 500 + i),
                  IHW265D_OK);
        ASSERT_EQ(player.shown.size(), before + 1) << "access unit " << i;
        EXPECT_EQ(player.shown.back().timestamp, 500 + i);
        bytes += units[i].data.size();
    }
    EXPECT_EQ(player.consumedTotal, bytes);
    for (const Shown& s : player.shown) {
        EXPECT_EQ(s.width, 64u);
        EXPECT_EQ(s.height, 48u);
        ExpectClose(s);
    }
    EXPECT_EQ(IHW265D_Delete(h), IHW265D_OK);
}

TEST_F(Ihw265d, FollowsAChangeOfPictureSize) {
    auto units = EncodeTestClip(VideoCodec::kH265, 64, 48, 8);
    const auto larger = EncodeTestClip(VideoCodec::kH265, 128, 96, 8);
    units.insert(units.end(), larger.begin(), larger.end());
    IHW265D_InitParam p = Param();
    p.iMaxWidth = 64;  // announced sizes are no limit
    p.iMaxHeight = 48;
    IHW265D_Handle h = nullptr;
    ASSERT_EQ(IHW265D_Create(&h, &p), IHW265D_OK);
    Player player(h);
    player.Feed(units);
    ASSERT_EQ(player.shown.size(), 16u);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(player.shown[i].width, i < 8 ? 64u : 128u);
        EXPECT_EQ(player.shown[i].height, i < 8 ? 48u : 96u);
        ExpectClose(player.shown[i]);
    }
    EXPECT_EQ(IHW265D_Delete(h), IHW265D_OK);
}

TEST_F(Ihw265d, FlushEndsWithNothingMoreToOutputAndStartsAfresh) {
    const auto units = EncodeTestClip(VideoCodec::kH265, 64, 48, 3);
    IHW265D_InitParam p = Param();
    IHW265D_Handle h = nullptr;
    ASSERT_EQ(IHW265D_Create(&h, &p), IHW265D_OK);
    Player player(h);
    player.Feed(units);
    IHW265D_InArgs in{nullptr, 0, 0, IHW265D_DECODE_FLUSH, 0};
    IHW265D_OutArgs out{};
    out.status = 3;
    EXPECT_EQ(IHW265D_Decode(h, &in, &out), IHW265D_OK);
    EXPECT_EQ(out.status, IHW265D_NO_MORE_OUTPUT);
    player.Feed(units);
    EXPECT_EQ(player.shown.size(), 6u);
    EXPECT_EQ(IHW265D_Delete(h), IHW265D_OK);
}

// With B-frames the decoder holds pictures back; they come out in display
// order, the last ones through the flush.
TEST_F(Ihw265d, ReorderedPicturesComeOutInDisplayOrder) {
    const auto units = EncodeTestClip(VideoCodec::kH265, 64, 48, 20, 0, 2);
    ASSERT_EQ(units.size(), 20u);
    bool reordered = false;
    for (size_t i = 0; i < units.size(); ++i) reordered |= units[i].index != int64_t(i);
    ASSERT_TRUE(reordered) << "the encoder wrote no B-frames";
    IHW265D_InitParam p = Param();
    IHW265D_Handle h = nullptr;
    ASSERT_EQ(IHW265D_Create(&h, &p), IHW265D_OK);
    Player player(h);
    for (const auto& u : units)
        player.Feed(u.data.data(), uint32_t(u.data.size()), uint64_t(u.index));
    EXPECT_LT(player.shown.size(), 20u);
    player.Feed(nullptr, 0, 0, IHW265D_DECODE_FLUSH);
    ASSERT_EQ(player.shown.size(), 20u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(player.shown[i].timestamp, i);
        ExpectClose(player.shown[i]);
    }
    EXPECT_EQ(IHW265D_Delete(h), IHW265D_OK);
}

// Damaged input is consumed without a picture; the next key frame decodes.
TEST_F(Ihw265d, SurvivesDamagedInputAndRecoversAtTheNextKeyFrame) {
    const auto units = EncodeTestClip(VideoCodec::kH265, 64, 48, 26);
    IHW265D_InitParam p = Param();
    IHW265D_Handle h = nullptr;
    ASSERT_EQ(IHW265D_Create(&h, &p), IHW265D_OK);
    Player player(h);
    std::mt19937 random(11);
    for (int i = 0; i < 20; ++i) {
        std::vector<uint8_t> junk(1 + random() % 3000);
        for (auto& b : junk) b = uint8_t(random());
        if (i % 2) junk[0] = 0, junk[1] = 0, junk[2] = 1;
        player.Feed(junk.data(), uint32_t(junk.size()), 0);
    }
    player.Feed(units[5].data.data(), uint32_t(units[5].data.size()), 0);
    EXPECT_TRUE(player.shown.empty());
    ASSERT_TRUE(units[25].keyFrame);
    player.Feed(units[25].data.data(), uint32_t(units[25].data.size()), 0);
    ASSERT_EQ(player.shown.size(), 1u);
    EXPECT_EQ(player.shown[0].width, 64u);
    EXPECT_EQ(IHW265D_Delete(h), IHW265D_OK);
}
