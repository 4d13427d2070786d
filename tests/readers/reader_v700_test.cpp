#include <gtest/gtest.h>

#include <algorithm>

#include "common/temp_dir.h"
#include "reader_test_util.h"
#include "readers/byte_order.h"
#include "readers/reader_v700.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// V700 layout: header 48, stream block 8, extra block E, 3605 slots, data.
constexpr uint64_t kIndexAt = 56;
constexpr uint64_t kDataAt = 28896;

class V700Test : public ::testing::Test {
protected:
    std::string Write(const rec::FileLayout& layout, const std::vector<rec::Record>& records, const char* name = "r.bin") {
        std::string p = dir_.File(name);
        EXPECT_TRUE(rec::WriteRecording(p, layout, records));
        return p;
    }
    std::string Plain(uint32_t seconds, const char* version = "V700") {
        rec::FileLayout layout;
        layout.version = version;
        rec::StreamOptions o;
        o.seconds = seconds;
        return Write(layout, rec::MakeStream(o));
    }
    TempDir dir_;
};

std::unique_ptr<CxFileReader> OpenAs(const std::string& path, bool v800, int channel = 0, int writable = 0) {
    std::unique_ptr<CxFileReader> r;
    if (v800) r = std::make_unique<CFileReaderV800>(channel);
    else r = std::make_unique<CFileReaderV700>(channel);
    if (r->Open(path, writable) != 1) return nullptr;
    return r;
}

}  // namespace

TEST_F(V700Test, OpensAndReportsTheStream) {
    rec::FileLayout layout;
    layout.version = "V800";
    layout.name = "BUS-0042";
    layout.hevc = 1;
    layout.headerWord = 0x1234;
    layout.audioType = 3;
    layout.audioFlag = 1;
    layout.frameRate = 30;
    layout.width = 1280;
    layout.height = 720;
    layout.extra = {1, 2, 3, 4, 5};
    rec::StreamOptions o;
    o.seconds = 12;
    o.fps = 30;
    o.audioBytes = 160;
    std::string p = Write(layout, rec::MakeStream(o));
    auto r = OpenAs(p, true);
    ASSERT_TRUE(r);
    StreamInfo info;
    r->GetInfo(&info);
    r->GetInfo(nullptr);
    EXPECT_EQ(info.Name(), "BUS-0042");
    EXPECT_EQ(info.duration, 12u);
    EXPECT_EQ(info.headerWord, 0x1234u);
    EXPECT_EQ(info.frameRate, 30);
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 720);
    EXPECT_EQ(info.audioType, 3u);
    EXPECT_EQ(info.oneChannelPerFile, 1u);
    EXPECT_EQ(info.hevc, 1u);
    EXPECT_EQ(r->IsHevc(), 1);
    EXPECT_EQ(r->HasAudio(), 1);
    EXPECT_EQ(r->GetFrameInterval(), 33);
    EXPECT_EQ(r->GetChannelCount(), 1);
    EXPECT_EQ(r->GetChannelId(0), 0);
    EXPECT_EQ(r->IndexEntryCount(), 12u);
    EXPECT_EQ(r->FirstTimestamp(), 1000u);
    EXPECT_EQ(r->GetPosition(), 0u);
    EXPECT_EQ(r->Tell(), kDataAt + 1 + 5);  // one more header byte, five extra bytes
}

TEST_F(V700Test, FirstRecordAfterOpenIsTheFirstOfTheDataArea) {
    auto records = rec::MakeStream({});
    records.insert(records.begin(), rec::Record{2, 0, 0, 960, {9, 9, 9}});
    records.insert(records.begin(), rec::Record{1, 0, 0, 950, {7}});  // non-key video first
    rec::FileLayout layout;
    auto r = OpenAs(Write(layout, records), false);
    ASSERT_TRUE(r);
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().Type(), kTypeVideo);
    EXPECT_EQ(u->Header().flag, 0);
    EXPECT_EQ(u->Header().timestamp, 950u);
    EXPECT_EQ(r->FirstTimestamp(), 1000u);  // the first key frame
}

TEST_F(V700Test, ReadsEveryRecordButTheOneEndingAtTheEndOfTheFile) {
    rec::StreamOptions o;
    o.seconds = 3;
    auto records = rec::MakeStream(o);
    auto r = OpenAs(Write({}, records), false, 5);
    ASSERT_TRUE(r);
    auto units = ReadAll(*r);
    ASSERT_EQ(units.size(), records.size() - 1);
    for (size_t i = 0; i < units.size(); ++i) {
        RecordHeader h = units[i]->Header();
        EXPECT_EQ(h.kind, 0x15) << i;  // video, channel selector 5
        EXPECT_EQ(h.timestamp, records[i].timestamp);
        EXPECT_EQ(h.length, records[i].payload.size());
        ASSERT_EQ(units[i]->PayloadSize(), records[i].payload.size());
        EXPECT_EQ(0, std::memcmp(units[i]->Payload(), records[i].payload.data(), records[i].payload.size()));
    }
    EXPECT_EQ(r->GetPosition(), 2u);
    EXPECT_EQ(r->IsAtEnd(), 1);  // the last payload was read, then dropped
}

TEST_F(V700Test, GpsRecordsComeOutDecoded) {
    rec::StreamOptions o;
    o.seconds = 3;
    o.gps = true;
    auto r = OpenAs(Write({}, rec::MakeStream(o)), false, 3);
    ASSERT_TRUE(r);
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(r->ReadFrame(0, u, 1), 1);  // aux: skips video and audio
    RecordHeader h = u->Header();
    EXPECT_EQ(h.kind, (4 << 4) | 3);
    EXPECT_EQ(u->Used(), 62u);
    EXPECT_EQ(h.length, rec::GpsPayload(rec::SampleFix(0)).size());  // stored length kept
    GpsFix f = GpsFix::Parse(u->Payload());
    EXPECT_STREQ(f.latitude, "2232.5000");
    EXPECT_EQ(f.year, 2016);
    EXPECT_EQ(r->GetPosition(), 0u);  // aux reads leave the clock alone
    ASSERT_EQ(r->ReadFrame(0, u, 1), 1);
    EXPECT_EQ(GpsFix::Parse(u->Payload()).second, 10);
}

TEST_F(V700Test, IndexLoadingLimits) {
    rec::StreamOptions o;
    o.seconds = 5;
    o.keyBytes = 1500000;  // key frames 1.5 MB apart: within the 2,000,000-byte jump
    o.videoBytes = 10;
    auto records = rec::MakeStream(o);
    EXPECT_EQ(OpenAs(Write({}, records, "a"), false)->IndexEntryCount(), 5u);

    o.keyBytes = 2100000;  // too far apart: only the first key frame is taken
    EXPECT_EQ(OpenAs(Write({}, rec::MakeStream(o), "b"), false)->IndexEntryCount(), 1u);

    auto entries = [&](std::vector<IndexEntry> e) {
        rec::FileLayout layout;
        layout.indexOverride = e;
        layout.lengthField = 10;
        return OpenAs(Write(layout, rec::MakeStream({}), "c"), false)->IndexEntryCount();
    };
    uint32_t d = static_cast<uint32_t>(kDataAt);
    EXPECT_EQ(entries({{0, d}, {1000, d + 5000}, {2000, d + 100}, {3000, d + 6000}}), 2u);  // backwards
    EXPECT_EQ(entries({{0, d}, {0, 0}, {2000, d + 100}}), 1u);                            // empty entry
    EXPECT_EQ(entries({{0, d}, {1000, 0xFFFFFFFF}}), 1u);                                 // all-ones slot
    EXPECT_EQ(entries({{0, 3000000}}), 0u);                                                // first too far
    EXPECT_EQ(entries({{0, d}, {1000, 50000000}}), 1u);                                    // outside the file
    EXPECT_EQ(entries({{5, 0}, {6, d}}), 2u);  // offset 0 with a time is taken
}

TEST_F(V700Test, AtMost3600EntriesAreTaken) {
    rec::FileLayout layout;
    std::vector<IndexEntry> e;
    for (uint32_t i = 0; i < 3605; ++i) e.push_back({i * 1000, static_cast<uint32_t>(kDataAt)});
    layout.indexOverride = e;
    auto r = OpenAs(Write(layout, rec::MakeStream({})), false);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->IndexEntryCount(), 3600u);
    EXPECT_EQ(r->GetDuration(), 3605);  // the header's length stands
}

TEST_F(V700Test, DurationWhenTheHeaderLengthIsZero) {
    rec::FileLayout layout;
    layout.lengthField = 0;
    rec::StreamOptions o;
    o.seconds = 600;
    o.fps = 2;
    o.videoBytes = o.keyBytes = 20;
    auto records = rec::MakeStream(o);
    auto r = OpenAs(Write(layout, records, "v700"), false);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->IndexEntryCount(), 600u);
    EXPECT_EQ(r->GetDuration(), 600);
    StreamInfo info;
    r->GetInfo(&info);
    EXPECT_EQ(info.duration, 600u);

    layout.version = "V800";
    auto v8 = OpenAs(Write(layout, records, "v800"), true);
    ASSERT_TRUE(v8);
    EXPECT_EQ(v8->GetDuration(), 0);
    uint32_t before = v8->Tell();
    v8->SeekToSecond(100);  // no length: no seeking
    EXPECT_EQ(v8->Tell(), before);
}

TEST_F(V700Test, SeekingByIndexAndByEstimate) {
    auto r = OpenAs(Plain(10), false);
    ASSERT_TRUE(r);
    r->SeekToSecond(4);
    EXPECT_EQ(r->GetPosition(), 4u);
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().flag, 1);
    EXPECT_EQ(u->Header().timestamp, 5000u);

    r->SeekToSecond(10);  // entries 0..9: past the last one is the end of the file
    EXPECT_EQ(r->IsAtEnd(), 1);
    EXPECT_EQ(r->ReadFrame(0, u, 0), 0);
    EXPECT_FALSE(u);

    // Without an index the position is estimated from the byte rate.
    rec::FileLayout layout;
    layout.writeIndex = false;
    layout.lengthField = 10;
    auto e = OpenAs(Write(layout, rec::MakeStream({}), "noindex"), false);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->IndexEntryCount(), 0u);
    e->SeekToSecond(5);
    EXPECT_GT(e->Tell(), kDataAt);
}

TEST_F(V700Test, KeyFrameSteppingAtBothEnds) {
    auto r = OpenAs(Plain(3), false);
    ASSERT_TRUE(r);
    std::unique_ptr<CxMemUnit> u;
    const uint32_t at = r->Tell();
    EXPECT_EQ(r->ReadFrame(-1, u, 0), 0);  // at position 0 there is nothing before
    EXPECT_EQ(r->Tell(), at);              // and the file does not move
    ASSERT_EQ(r->ReadFrame(1, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 2000u);
    ASSERT_EQ(r->ReadFrame(1, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 3000u);
    EXPECT_EQ(r->ReadFrame(1, u, 0), 0);  // past the last entry
    ASSERT_EQ(r->ReadFrame(-1, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 2000u);
    ASSERT_EQ(r->ReadFrame(-1, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 1000u);
    EXPECT_EQ(r->ReadFrame(-1, u, 0), 0);
}

// A key frame larger than the usual unit (4K video) is read whole; one longer
// than any frame record is skipped and returned with its header only.
TEST_F(V700Test, LargePayloadIsReadWholeAndAnOversizedOneSkipped) {
    auto records = rec::MakeStream({});
    std::vector<uint8_t> large(900000);
    for (size_t i = 0; i < large.size(); ++i) large[i] = uint8_t(i * 7);
    records.insert(records.begin() + 1, rec::Record{1, 0, 1, 1001, large});
    records.insert(records.begin() + 2, rec::Record{2, 0, 0, 1002, std::vector<uint8_t>(kLargestPayload + 1, 0xCD)});
    auto r = OpenAs(Write({}, records), false);
    ASSERT_TRUE(r);
    auto units = ReadAll(*r, 0, 0, 4);
    ASSERT_EQ(units.size(), 4u);
    ASSERT_EQ(units[1]->PayloadSize(), large.size());
    EXPECT_TRUE(std::equal(large.begin(), large.end(), units[1]->Payload()));
    EXPECT_EQ(units[2]->Used(), 22u);
    EXPECT_EQ(units[2]->Header().length, kLargestPayload + 1);
    EXPECT_EQ(units[3]->Header().timestamp, records[3].timestamp);  // reading goes on behind them
}

TEST_F(V700Test, RejectsFilesItCannotRead) {
    std::string good = Plain(2);
    EXPECT_FALSE(OpenAs(good, true));  // version 0x700 is not 0x800
    EXPECT_FALSE(OpenAs(dir_.File("missing"), false));
    EXPECT_FALSE(OpenAs(dir_.path().string(), false));  // a folder
    // No key frame among the first 101 records.
    std::vector<rec::Record> noKey;
    for (int i = 0; i < 120; ++i) noKey.push_back({1, 0, 0, uint64_t(1000 + i * 40), {1, 2}});
    EXPECT_FALSE(OpenAs(Write({}, noKey, "nokey"), false));
    // A key frame as the 101st record is still found.
    noKey.resize(100);
    noKey.push_back({1, 0, 1, 5000, {1}});
    noKey.push_back({1, 0, 0, 5040, {1}});
    EXPECT_TRUE(OpenAs(Write({}, noKey, "key101"), false));
}

TEST_F(V700Test, RebuildRestoresADamagedIndex) {
    std::string p = Plain(20);
    // Damage: wipe the table and the length.
    ASSERT_TRUE(rec::Patch(p, kIndexAt, std::vector<uint8_t>(3605 * 8, 0)));
    ASSERT_TRUE(rec::PatchU32(p, 28, 0));
    auto before = OpenAs(p, false);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->IndexEntryCount(), 0u);
    before.reset();

    auto r = OpenAs(p, false, 0, 1);
    ASSERT_TRUE(r);
    r->Close();  // the repair command closes first; the rebuild re-opens by itself
    g_StopRebuildIndex = false;
    EXPECT_EQ(r->RebuildIndex(), 1);
    r.reset();

    auto after = OpenAs(p, false);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->IndexEntryCount(), 20u);
    EXPECT_EQ(after->GetDuration(), 20);
    after->SeekToSecond(7);
    EXPECT_EQ(after->GetPosition(), 7u);
    // The slot after the last key frame is empty again.
    std::string bytes = *ReadFileBytes(p);
    EXPECT_EQ(GetU32(reinterpret_cast<const uint8_t*>(&bytes[kIndexAt + 20 * 8])), 0xFFFFFFFFu);
    EXPECT_EQ(GetU32(reinterpret_cast<const uint8_t*>(&bytes[kIndexAt + 19 * 8])), 19000u);
}

TEST_F(V700Test, RebuildOfVersion800AndCancelledOrReadOnlyRebuilds) {
    std::string p = Plain(5, "V800");
    ASSERT_TRUE(rec::Patch(p, kIndexAt + 1, std::vector<uint8_t>(8, 0)));
    auto r = OpenAs(p, true, 0, 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->IndexEntryCount(), 0u);
    EXPECT_EQ(r->RebuildIndex(), 1);
    EXPECT_EQ(r->IndexEntryCount(), 5u);
    r.reset();
    EXPECT_EQ(OpenAs(p, true)->IndexEntryCount(), 5u);

    // A reader opened read-only cannot write: the rebuild says so.
    std::string q = Plain(5);
    ASSERT_TRUE(rec::PatchU32(q, kIndexAt + 4, 0));
    ASSERT_TRUE(rec::PatchU32(q, kIndexAt, 0));
    auto ro = OpenAs(q, false);
    EXPECT_EQ(ro->RebuildIndex(), -1);
    // A cancelled rebuild leaves the file as it was.
    std::string original = *ReadFileBytes(q);
    auto rw = OpenAs(q, false, 0, 1);
    g_StopRebuildIndex = true;
    EXPECT_EQ(rw->RebuildIndex(), 0);
    g_StopRebuildIndex = false;
    EXPECT_EQ(*ReadFileBytes(q), original);
}
