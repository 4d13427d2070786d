#include <gtest/gtest.h>
#include <unistd.h>

#include "common/temp_dir.h"
#include "reader_test_util.h"
#include "readers/byte_order.h"
#include "readers/reader_v300.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// Header 100 bytes, frame data with 20-byte frame headers, index entries,
// trailer (20 bytes) at the end.
constexpr uint64_t kDataAt = 100;

std::unique_ptr<CxFileReader> OpenAs(const std::string& version, const std::string& path, int writable = 0) {
    std::unique_ptr<CxFileReader> r;
    if (version == "V120") r = std::make_unique<CFileReaderV120>(0);
    else r = std::make_unique<CFileReaderV300>(0);
    if (r->Open(path, writable) != 1) return nullptr;
    return r;
}

uint32_t U32At(const std::string& bytes, uint64_t offset) {
    return GetU32(reinterpret_cast<const uint8_t*>(bytes.data() + offset));
}

class V300Test : public ::testing::Test {
protected:
    std::string Write(const rec::FileLayout& layout, const std::vector<rec::Record>& records, const std::string& name = "r") {
        std::string p = dir_.File(name);
        EXPECT_TRUE(rec::WriteRecording(p, layout, records));
        return p;
    }
    static rec::FileLayout LayoutOf(const char* version, bool trailer = false, bool companion = false) {
        rec::FileLayout layout;
        layout.version = version;
        layout.trailer = trailer;
        layout.companionIndex = companion;
        layout.lengthField = 55;  // shows where the length came from
        return layout;
    }
    TempDir dir_;
};

}  // namespace

TEST_F(V300Test, TrailerGivesLengthAndIndex) {
    rec::FileLayout layout = LayoutOf("V300", true);
    layout.lengthField = 42;
    layout.audioType = 2;
    layout.audioFlag = 1;
    layout.width = 352;
    layout.height = 288;
    rec::StreamOptions o;
    o.channel = 2;
    o.audioBytes = 64;
    o.gps = true;
    auto records = rec::MakeStream(o);
    auto r = OpenAs("V300", Write(layout, records));
    ASSERT_TRUE(r);
    StreamInfo info;
    r->GetInfo(&info);
    EXPECT_EQ(info.duration, 42u);
    EXPECT_EQ(info.width, 352);
    EXPECT_EQ(info.height, 288);
    EXPECT_EQ(info.audioType, 2u);
    EXPECT_EQ(r->HasAudio(), 1);
    EXPECT_EQ(r->IndexEntryCount(), 10u);
    EXPECT_EQ(r->FirstTimestamp(), 1000u);
    EXPECT_EQ(r->GetPosition(), 0u);
    EXPECT_EQ(r->Tell(), kDataAt);

    // The index and the trailer follow the data, so the last record does not
    // end at the end of the file and is returned too.
    auto units = ReadAll(*r);
    ASSERT_EQ(units.size(), records.size());
    for (size_t i = 0; i < units.size(); ++i) {
        RecordHeader h = units[i]->Header();
        EXPECT_EQ(h.kind, (records[i].type << 4) | records[i].channel);
        EXPECT_EQ(h.timestamp, records[i].timestamp);
        EXPECT_EQ(h.length, records[i].payload.size());
        if (h.Type() == kTypeGps) {
            EXPECT_EQ(units[i]->Used(), 62u);
            EXPECT_STREQ(GpsFix::Parse(units[i]->Payload()).latitude, "2232.5000");
        } else {
            ASSERT_EQ(units[i]->PayloadSize(), records[i].payload.size());
            EXPECT_EQ(0, std::memcmp(units[i]->Payload(), records[i].payload.data(), records[i].payload.size()));
        }
    }
    r->SeekToSecond(3);
    EXPECT_EQ(r->GetPosition(), 3u);
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 4000u);
    EXPECT_EQ(r->ReadFrame(0, u, 1), 1);  // no records of other kinds in these versions
    EXPECT_FALSE(u);
}

TEST_F(V300Test, WithoutTrailerOrCompanionTheLengthComesFromTheEnd) {
    rec::FileLayout layout = LayoutOf("V300");
    auto r = OpenAs("V300", Write(layout, rec::MakeStream({})));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetDuration(), 9);  // last video frame at 10960, first at 1000
    EXPECT_EQ(r->IndexEntryCount(), 0u);
    // The byte-rate estimate lands inside a record; reading goes on from the
    // next video record near the asked second.
    r->SeekToSecond(5);
    EXPECT_GE(r->GetPosition(), 4u);
    EXPECT_LE(r->GetPosition(), 6u);
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().Type(), kTypeVideo);
    r->SeekToSecond(0);
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 1000u);
}

TEST_F(V300Test, BackwardSearchLimits) {
    // A last frame 4000 seconds after the first is not believed; the one
    // before it is.
    auto records = rec::MakeStream({});
    records.push_back({1, 0, 1, 1000 + 4000 * 1000, {1, 2, 3}});
    records.push_back({2, 0, 0, 1000 + 4000 * 1000, {1}});
    auto r = OpenAs("V300", Write(LayoutOf("V300"), records, "late"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetDuration(), 9);
    records[records.size() - 2].timestamp = 1000 + 3999 * 1000;
    EXPECT_EQ(OpenAs("V300", Write(LayoutOf("V300"), records, "late2"))->GetDuration(), 3999);

    // More than 5 MiB without video at the end: the header's length stands.
    records = rec::MakeStream({});
    for (int i = 0; i < 90; ++i) records.push_back({2, 0, 0, uint64_t(11000 + i), std::vector<uint8_t>(60000, 7)});
    EXPECT_EQ(OpenAs("V300", Write(LayoutOf("V300"), records, "tail"))->GetDuration(), 55);
    EXPECT_EQ(OpenAs("V120", Write(LayoutOf("V120"), records, "tail120"))->GetDuration(), 55);
}

TEST_F(V300Test, CompanionIndexFile) {
    // A trailer whose index offset is 0 sends the index to the companion file.
    rec::FileLayout layout = LayoutOf("V300", true, true);
    layout.writeIndex = false;
    layout.lengthField = 33;
    std::string p = Write(layout, rec::MakeStream({}), "t0");
    ASSERT_EQ(U32At(*ReadFileBytes(p), std::filesystem::file_size(p) - 8), 0u);
    auto r = OpenAs("V300", p);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetDuration(), 33);
    EXPECT_EQ(r->IndexEntryCount(), 10u);
    r->SeekToSecond(8);
    EXPECT_EQ(r->GetPosition(), 8u);

    // Without a trailer the companion file gives the length too.
    auto c = OpenAs("V300", Write(LayoutOf("V300", false, true), rec::MakeStream({}), "c"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->GetDuration(), 9);  // (9000 - 0) / 1000
    EXPECT_EQ(c->IndexEntryCount(), 10u);

    // An empty companion file is no index and no length, and no reason to
    // search the end either.
    std::string e = Write(LayoutOf("V300"), rec::MakeStream({}), "e");
    dir_.Write("e.idx", "");
    auto empty = OpenAs("V300", e);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->GetDuration(), 55);
    EXPECT_EQ(empty->IndexEntryCount(), 0u);
}

TEST_F(V300Test, RebuildAppendsEntriesAndTrailer) {
    rec::StreamOptions o;
    o.seconds = 120;
    o.fps = 2;
    o.keyBytes = o.videoBytes = 30;
    auto records = rec::MakeStream(o);
    std::string p = Write(LayoutOf("V300"), records);
    const std::string original = *ReadFileBytes(p);

    auto r = OpenAs("V300", p, 1);
    ASSERT_TRUE(r);
    r->Close();  // the repair command closes first; the rebuild re-opens the file
    g_StopRebuildIndex = false;
    EXPECT_EQ(r->RebuildIndex(), 1);
    EXPECT_EQ(r->IndexEntryCount(), 120u);
    EXPECT_EQ(r->GetDuration(), 119);
    r.reset();

    const std::string bytes = *ReadFileBytes(p);
    ASSERT_EQ(bytes.size(), original.size() + 960 + 20);
    EXPECT_EQ(bytes.compare(0, original.size(), original), 0);
    const uint64_t t = bytes.size() - 20;
    EXPECT_EQ(U32At(bytes, t), 0x44332211u);
    EXPECT_EQ(U32At(bytes, t + 4), 0x88776655u);
    EXPECT_EQ(U32At(bytes, t + 8), 119u);
    EXPECT_EQ(U32At(bytes, t + 12), original.size());
    EXPECT_EQ(U32At(bytes, t + 16), 960u);
    EXPECT_EQ(U32At(bytes, original.size()), 1u);  // ordinal of the first key frame
    EXPECT_EQ(U32At(bytes, original.size() + 4), kDataAt);
    EXPECT_EQ(U32At(bytes, original.size() + 119 * 8), 120u);

    auto after = OpenAs("V300", p);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->IndexEntryCount(), 120u);
    EXPECT_EQ(after->GetDuration(), 119);
    after->SeekToSecond(100);
    EXPECT_EQ(after->GetPosition(), 100u);
    // A recording that already has a trailer is left alone.
    EXPECT_EQ(after->RebuildIndex(), 0);
    EXPECT_EQ(*ReadFileBytes(p), bytes);
}

TEST_F(V300Test, RebuildsThatWriteNothing) {
    auto records = rec::MakeStream({});
    std::string p = Write(LayoutOf("V300"), records, "cancel");
    const std::string original = *ReadFileBytes(p);
    auto r = OpenAs("V300", p, 1);
    ASSERT_TRUE(r);
    g_StopRebuildIndex = true;
    EXPECT_EQ(r->RebuildIndex(), 0);
    g_StopRebuildIndex = false;
    EXPECT_EQ(*ReadFileBytes(p), original);

    // With a companion file only the length is taken from it.
    std::string c = Write(LayoutOf("V300", false, true), records, "comp");
    const std::string withCompanion = *ReadFileBytes(c);
    auto rc = OpenAs("V300", c, 1);
    ASSERT_TRUE(rc);
    EXPECT_EQ(rc->RebuildIndex(), 0);
    EXPECT_EQ(rc->GetDuration(), 10);  // (9000 - 0 + 1000) / 1000
    EXPECT_EQ(*ReadFileBytes(c), withCompanion);

    // No key frames: no trailer that would claim a length of 0.
    for (auto& rec : records) rec.key = 0;
    std::string n = Write(LayoutOf("V300"), records, "nokey");
    const std::string noKey = *ReadFileBytes(n);
    EXPECT_EQ(OpenAs("V300", n, 1)->RebuildIndex(), 0);
    EXPECT_EQ(*ReadFileBytes(n), noKey);

    // The scan ends at a damaged frame header: nothing is guessed from the
    // garbage behind it.
    auto stream = rec::MakeStream({});
    uint64_t fourthKey = kDataAt;
    for (size_t i = 0; i < 3 * 25; ++i) fourthKey += 20 + stream[i].payload.size();
    std::string d = Write(LayoutOf("V300"), stream, "damaged");
    ASSERT_TRUE(rec::PatchU32(d, fourthKey, 0));
    auto rd = OpenAs("V300", d, 1);
    ASSERT_TRUE(rd);
    EXPECT_EQ(rd->RebuildIndex(), 1);
    EXPECT_EQ(rd->IndexEntryCount(), 3u);

    // Behind 4 GiB no 32-bit offset can name the entries: the file is left alone.
    std::string big = Write(LayoutOf("V300"), rec::MakeStream({}), "big");
    ASSERT_TRUE(rec::Truncate(big, 0x100000010ull));
    EXPECT_EQ(OpenAs("V300", big, 1)->RebuildIndex(), 0);
    EXPECT_EQ(std::filesystem::file_size(big), 0x100000010ull);

    // The other version has nothing to rebuild.
    EXPECT_EQ(OpenAs("V120", Write(LayoutOf("V120"), records, "v120"), 1)->RebuildIndex(), 0);
}

TEST_F(V300Test, ReadOnlyFilesStillPlay) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
    std::string p = Write(LayoutOf("V300"), rec::MakeStream({}));
    ASSERT_EQ(chmod(p.c_str(), 0444), 0);
    auto r = OpenAs("V300", p);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->RebuildIndex(), 0);
    EXPECT_FALSE(OpenAs("V300", p, 1));
}

TEST_F(V300Test, Version120HeaderAndReading) {
    rec::FileLayout layout = LayoutOf("V120");
    layout.frameRate = 0;
    layout.width = 720;
    layout.height = 480;
    layout.audioType = 5;
    layout.audioFlag = 1;
    rec::StreamOptions o;
    o.audioBytes = 32;
    auto records = rec::MakeStream(o);
    auto r = OpenAs("V120", Write(layout, records));
    ASSERT_TRUE(r);
    StreamInfo info;
    r->GetInfo(&info);
    EXPECT_EQ(info.width, 720);
    EXPECT_EQ(r->GetWidth(), 720);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(r->GetHeight(), 480);
    EXPECT_EQ(info.audioType, 5u);
    EXPECT_EQ(r->GetAudioType(), 5);
    EXPECT_EQ(r->HasAudio(), 1);
    EXPECT_EQ(r->GetFrameInterval(), 40);  // frame rate 0
    EXPECT_EQ(r->IndexEntryCount(), 10u);
    // The same stream gets the same length as in version 0x300.
    EXPECT_EQ(r->GetDuration(), 9);
    // Reading starts with the first frame, at the start of the frame data.
    EXPECT_EQ(r->Tell(), kDataAt);
    EXPECT_EQ(r->GetPosition(), 0u);
    auto units = ReadAll(*r);
    ASSERT_EQ(units.size(), records.size());
    EXPECT_EQ(units[0]->Header().timestamp, records[0].timestamp);
    EXPECT_EQ(units[1]->Header().kind, kTypeVideo << 4);  // plain type number, channel 0
    EXPECT_EQ(units[0]->Header().kind, kTypeAudio << 4);
    r->Rewind();
    EXPECT_EQ(r->Tell(), kDataAt);
}

TEST_F(V300Test, Version120TrailerOnlyInRevision102) {
    rec::FileLayout layout = LayoutOf("V120", true);
    layout.versionWord = 0x101;
    std::string p = Write(layout, rec::MakeStream({}));
    // The header no longer names the index; only the trailer does.
    ASSERT_TRUE(rec::PatchU32(p, 44, 0));
    ASSERT_TRUE(rec::PatchU32(p, 48, 0));
    auto r101 = OpenAs("V120", p);
    ASSERT_TRUE(r101);
    EXPECT_EQ(r101->IndexEntryCount(), 0u);
    ASSERT_TRUE(rec::PatchU32(p, 4, 0x102));
    auto r102 = OpenAs("V120", p);
    ASSERT_TRUE(r102);
    EXPECT_EQ(r102->IndexEntryCount(), 10u);
    EXPECT_EQ(r102->GetDuration(), 9);  // the end of the data outweighs the trailer
    // Header fields name the index of revision 0x101.
    layout.trailer = false;
    EXPECT_EQ(OpenAs("V120", Write(layout, rec::MakeStream({}), "h"))->IndexEntryCount(), 10u);
    // Without three key frames near the end the trailer's length stands.
    rec::StreamOptions o;
    o.seconds = 2;
    layout.trailer = true;
    layout.versionWord = 0x102;
    EXPECT_EQ(OpenAs("V120", Write(layout, rec::MakeStream(o), "two"))->GetDuration(), 55);
}

TEST_F(V300Test, SeekSlidesOverDamageAtTheIndexedFrame) {
    for (const char* version : {"V120", "V300"}) {
        std::string p = Write(LayoutOf(version, true), rec::MakeStream({}), version);
        auto ref = OpenAs(version, p);
        ASSERT_TRUE(ref);
        ref->SeekToSecond(5);
        uint32_t at = ref->Tell();
        ref.reset();
        ASSERT_TRUE(rec::Patch(p, at, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        auto r = OpenAs(version, p);
        ASSERT_TRUE(r);
        r->SeekToSecond(5);
        std::unique_ptr<CxMemUnit> u;
        ASSERT_EQ(r->ReadFrame(0, u, 0), 1) << version;
        EXPECT_EQ(u->Header().timestamp, 6040u);  // the frame after the damaged key frame
    }
}
