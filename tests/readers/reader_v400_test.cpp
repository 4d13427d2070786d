#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "reader_test_util.h"
#include "readers/byte_order.h"
#include "readers/reader_v400.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// Header 100 bytes, M index entries of 8 bytes, frame data.
constexpr uint64_t kIndexAt = 100;
constexpr uint64_t kCountAt = 45;

std::unique_ptr<CxFileReader> Make(const std::string& version, int channel = 0) {
    if (version == "V400") return std::make_unique<CFileReaderV400>(channel);
    if (version == "V401") return std::make_unique<CFileReaderV401>(channel);
    return std::make_unique<CFileReaderV402>(channel);
}

std::unique_ptr<CxFileReader> OpenAs(const std::string& version, const std::string& path) {
    std::unique_ptr<CxFileReader> r = Make(version);
    if (r->Open(path, 0) != 1) return nullptr;
    return r;
}

class V400Test : public ::testing::Test {
protected:
    std::string Write(const rec::FileLayout& layout, const std::vector<rec::Record>& records, const std::string& name = "r") {
        std::string p = dir_.File(name);
        EXPECT_TRUE(rec::WriteRecording(p, layout, records));
        return p;
    }
    std::string Plain(const std::string& version, uint32_t seconds = 10, const std::string& name = "r") {
        rec::FileLayout layout;
        layout.version = version;
        rec::StreamOptions o;
        o.seconds = seconds;
        return Write(layout, rec::MakeStream(o), name);
    }
    TempDir dir_;
};

const char* const kVersions[] = {"V400", "V401", "V402"};

}  // namespace

TEST_F(V400Test, OpensReportsAndReadsEveryVersion) {
    for (const char* version : kVersions) {
        rec::FileLayout layout;
        layout.version = version;
        layout.name = "COACH-7";
        layout.headerWord = 0xBEEF;
        layout.frameRate = 30;
        layout.audioType = 4;
        layout.audioFlag = 1;
        layout.width = 1280;
        layout.height = 720;
        layout.lengthField = 999;  // the index span replaces it
        rec::StreamOptions o;
        o.seconds = 4;
        o.audioBytes = 80;
        o.channel = 3;
        auto records = rec::MakeStream(o);
        std::string p = Write(layout, records, version);
        auto r = OpenAs(version, p);
        ASSERT_TRUE(r) << version;
        StreamInfo info;
        r->GetInfo(&info);
        EXPECT_EQ(info.Name(), "COACH-7");
        EXPECT_EQ(info.duration, 4u) << version;
        EXPECT_EQ(info.headerWord, 0xBEEFu);
        EXPECT_EQ(info.frameRate, 30);
        EXPECT_EQ(info.width, 1280);
        EXPECT_EQ(info.height, 720);
        EXPECT_EQ(info.audioType, 4u);
        EXPECT_EQ(info.oneChannelPerFile, 0u);
        EXPECT_EQ(r->HasAudio(), 1);
        EXPECT_EQ(r->GetFrameInterval(), 33);
        EXPECT_EQ(r->GetChannelCount(), 1);
        EXPECT_EQ(r->IndexEntryCount(), 4u);
        EXPECT_EQ(r->FirstTimestamp(), 1000u);
        EXPECT_EQ(r->GetPosition(), 0u);
        EXPECT_EQ(r->Tell(), kIndexAt + 4 * 8);

        // Every record comes back as written, with its own channel nibble,
        // except the last one, which ends exactly at the end of the file.
        auto units = ReadAll(*r);
        ASSERT_EQ(units.size(), records.size() - 1) << version;
        for (size_t i = 0; i < units.size(); ++i) {
            RecordHeader h = units[i]->Header();
            EXPECT_EQ(h.kind, (records[i].type << 4) | 3) << version << " " << i;
            EXPECT_EQ(h.flag, records[i].key);
            EXPECT_EQ(h.timestamp, records[i].timestamp);
            ASSERT_EQ(units[i]->PayloadSize(), records[i].payload.size());
            EXPECT_EQ(0, std::memcmp(units[i]->Payload(), records[i].payload.data(), records[i].payload.size()));
        }
        EXPECT_EQ(r->GetPosition(), 3u);
        EXPECT_EQ(r->RebuildIndex(), 0);  // the index lies ahead of the data: nothing to rebuild
    }
}

TEST_F(V400Test, EachVersionWordHasItsOwnReader) {
    std::string v400 = Plain("V400", 3, "v400");
    std::string v401 = Plain("V401", 3, "v401");
    std::string v402 = Plain("V402", 3, "v402");
    EXPECT_FALSE(OpenAs("V402", v401));
    EXPECT_TRUE(OpenAs("V401", v401));
    EXPECT_FALSE(OpenAs("V402", v400));
    EXPECT_FALSE(OpenAs("V401", v400));
    EXPECT_TRUE(OpenAs("V400", v400));
    EXPECT_FALSE(OpenAs("V400", v402));
    EXPECT_FALSE(OpenAs("V401", v402));
    int before = OpenDescriptorCount();
    ASSERT_TRUE(rec::PatchU32(v402, 0, 0x5AFACADB));  // magic
    EXPECT_FALSE(OpenAs("V402", v402));
    EXPECT_FALSE(OpenAs("V402", dir_.Write("short", std::string(99, 'x'))));
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(V400Test, FifthEmptyEntryEndsTheIndex) {
    auto count = [&](const char* version, std::vector<IndexEntry> entries) {
        rec::FileLayout layout;
        layout.version = version;
        layout.indexOverride = entries;
        auto r = OpenAs(version, Write(layout, rec::MakeStream({}), version));
        EXPECT_TRUE(r);
        return r ? r->IndexEntryCount() : 0u;
    };
    for (const char* version : {"V400", "V401"}) {
        std::vector<IndexEntry> e(10);
        e[0] = {0, 200};
        e[1] = {1000, 300};
        e[2] = {2000, 400};
        // Entries 3..7 empty: the fifth empty one (7) ends the loading, so 8
        // and 9 are never taken.
        e[8] = {8000, 900};
        e[9] = {9000, 1000};
        EXPECT_EQ(count(version, e), 3u) << version;
        // Four empty entries are passed over; the entries behind them count.
        e[7] = {7000, 800};
        EXPECT_EQ(count(version, e), 6u) << version;
        // Offsets are not checked against the file.
        e[9] = {9000, 0xFFFFFF00};
        EXPECT_EQ(count(version, e), 6u) << version;
    }
    // 0x402 stops at the first empty entry.
    std::vector<IndexEntry> e{{0, 200}, {1000, 300}, {0, 0}, {3000, 500}};
    EXPECT_EQ(count("V402", e), 2u);
}

TEST_F(V400Test, Version402IndexLimits) {
    rec::FileLayout layout;
    layout.version = "V402";
    rec::StreamOptions o;
    o.seconds = 3;
    o.keyBytes = 2100000;  // room for offsets more than 2,000,000 bytes apart
    o.videoBytes = 10;
    auto records = rec::MakeStream(o);
    uint64_t data = kIndexAt + 4 * 8;
    uint32_t d = static_cast<uint32_t>(data);
    auto count = [&](std::vector<IndexEntry> e) {
        layout.indexOverride = e;
        auto r = OpenAs("V402", Write(layout, records, "limits"));
        EXPECT_TRUE(r);
        return r ? r->IndexEntryCount() : 0u;
    };
    EXPECT_EQ(count({{0, d}, {1000, d + 100}, {2000, d + 50}, {3000, d + 200}}), 2u);      // backwards
    EXPECT_EQ(count({{0, d}, {1000, d + 2000000}, {2000, d + 4000001}, {3000, d}}), 2u);  // jump too far
    EXPECT_EQ(count({{0, d}, {1000, 0xFFFFFFFF}, {2000, d + 10}, {3000, d + 20}}), 1u);   // outside the file
    EXPECT_EQ(count({{0, 2000001}, {1000, d}, {2000, d}, {3000, d}}), 0u);                // first too far
    EXPECT_EQ(count({{7, 0}, {8, d}, {9, d + 10}, {10, d + 20}}), 4u);                    // offset 0 with a time
}

TEST_F(V400Test, LengthComesFromTheIndexOrElseTheHeader) {
    rec::FileLayout layout;
    layout.version = "V401";
    layout.lengthField = 77;
    layout.indexOverride = std::vector<IndexEntry>{{5000, 200}, {6000, 300}, {9500, 400}};
    auto r = OpenAs("V401", Write(layout, rec::MakeStream({}), "span"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetDuration(), 5);  // (9500 - 5000 + 1000) / 1000

    layout.indexOverride.reset();
    layout.writeIndex = false;
    auto none = OpenAs("V401", Write(layout, rec::MakeStream({}), "none"));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->IndexEntryCount(), 0u);
    EXPECT_EQ(none->GetDuration(), 77);
}

TEST_F(V400Test, FirstKeyFrameSearch) {
    // Records ahead of the first key frame: 0x401 and 0x402 look for the key
    // frame, 0x400 takes the first header as it stands.
    std::vector<rec::Record> records{{2, 0, 0, 900, {1, 2, 3}}, {1, 0, 0, 950, {4}}};
    auto stream = rec::MakeStream({});
    records.insert(records.end(), stream.begin(), stream.end());
    for (const char* version : kVersions) {
        rec::FileLayout layout;
        layout.version = version;
        auto r = OpenAs(version, Write(layout, records, version));
        ASSERT_TRUE(r) << version;
        EXPECT_EQ(r->FirstTimestamp(), std::string(version) == "V400" ? 900u : 1000u) << version;
        std::unique_ptr<CxMemUnit> u;
        ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
        EXPECT_EQ(u->Header().timestamp, 900u);  // reading starts with the first record
    }
    // A key frame as the 101st record is found, as the 102nd it is not.
    std::vector<rec::Record> noKey;
    for (int i = 0; i < 100; ++i) noKey.push_back({1, 0, 0, uint64_t(1000 + i * 40), {1, 2}});
    noKey.push_back({1, 0, 1, 5000, {1}});
    noKey.push_back({1, 0, 0, 5040, {1}});
    rec::FileLayout layout;
    layout.version = "V401";
    EXPECT_TRUE(OpenAs("V401", Write(layout, noKey, "key101")));
    noKey.insert(noKey.begin(), rec::Record{2, 0, 0, 990, {1}});
    EXPECT_FALSE(OpenAs("V401", Write(layout, noKey, "key102")));
    layout.version = "V402";
    EXPECT_FALSE(OpenAs("V402", Write(layout, noKey, "key102b")));
    // 0x400 needs nothing but 20 bytes behind the index.
    layout.version = "V400";
    layout.writeIndex = false;
    std::string p = Write(layout, {}, "empty");
    EXPECT_FALSE(OpenAs("V400", p));
    dir_.Write("empty", *ReadFileBytes(p) + std::string(20, '\x5A'));
    EXPECT_TRUE(OpenAs("V400", p));
}

TEST_F(V400Test, Version402SlidesOverADamagedStart) {
    rec::FileLayout layout;
    layout.version = "V402";
    layout.gapBeforeData = {0x55, 0x66, 0x77};
    rec::StreamOptions o;
    o.seconds = 3;
    auto records = rec::MakeStream(o);
    std::string p = Write(layout, records);
    auto r = OpenAs("V402", p);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->FirstTimestamp(), 1000u);
    // Reading starts at the first intact frame header, not in the damage.
    EXPECT_EQ(r->Tell(), kIndexAt + 3 * 8 + 3);
    auto units = ReadAll(*r);
    EXPECT_EQ(units.size(), records.size() - 1);
    r->Rewind();
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 1000u);

    // 0x401 does not slide: its first header is garbage.
    layout.version = "V401";
    EXPECT_FALSE(OpenAs("V401", Write(layout, records, "v401")));
}

TEST_F(V400Test, GpsComesOutDecodedInEveryVersion) {
    for (const char* version : kVersions) {
        rec::FileLayout layout;
        layout.version = version;
        rec::StreamOptions o;
        o.seconds = 3;
        o.gps = true;
        auto r = OpenAs(version, Write(layout, rec::MakeStream(o), version));
        ASSERT_TRUE(r);
        EXPECT_TRUE(r->DecodesGps());
        auto units = ReadAll(*r);
        int fixes = 0;
        for (const auto& u : units) {
            RecordHeader h = u->Header();
            if (h.Type() != kTypeGps) continue;
            EXPECT_EQ(u->Used(), 62u);
            EXPECT_EQ(h.length, rec::GpsPayload(rec::SampleFix(0)).size());  // stored length kept
            GpsFix f = GpsFix::Parse(u->Payload());
            EXPECT_EQ(f.status, 'A');
            EXPECT_STREQ(f.latitude, "2232.5000");
            EXPECT_EQ(f.lonHemisphere, 'E');
            EXPECT_EQ(f.second, 9 + fixes);
            ++fixes;
        }
        EXPECT_EQ(fixes, 3) << version;
    }
}

TEST_F(V400Test, SeekingByIndexAndWithoutOne) {
    for (const char* version : kVersions) {
        auto r = OpenAs(version, Plain(version, 10, version));
        ASSERT_TRUE(r);
        r->SeekToSecond(6);
        EXPECT_EQ(r->GetPosition(), 6u);
        std::unique_ptr<CxMemUnit> u;
        ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
        EXPECT_EQ(u->Header().flag, 1);
        EXPECT_EQ(u->Header().timestamp, 7000u);
        ASSERT_EQ(r->ReadFrame(1, u, 0), 1);  // key-frame stepping follows the index
        EXPECT_EQ(u->Header().timestamp, 8000u);
        r->SeekToSecond(10);  // past the last entry
        EXPECT_EQ(r->IsAtEnd(), 1);

        // Without an index the byte-rate estimate lands inside some record;
        // the reader slides on to the next video record, so reading goes on
        // near the asked second instead of ending.
        rec::FileLayout layout;
        layout.version = version;
        layout.writeIndex = false;
        layout.lengthField = 10;
        auto e = OpenAs(version, Write(layout, rec::MakeStream({}), std::string(version) + "n"));
        ASSERT_TRUE(e);
        e->SeekToSecond(5);
        EXPECT_GE(e->GetPosition(), 4u);
        EXPECT_LE(e->GetPosition(), 6u);
        ASSERT_EQ(e->ReadFrame(0, u, 0), 1) << version;
        EXPECT_EQ(u->Header().Type(), kTypeVideo);
        EXPECT_EQ(e->GetPosition() + 1, (u->Header().timestamp) / 1000);
        e->SeekToSecond(0);
        ASSERT_EQ(e->ReadFrame(0, u, 0), 1);
        EXPECT_EQ(u->Header().timestamp, 1000u);
    }
}

TEST_F(V400Test, HugeIndexCountsAreRefusedWithoutReadingThem) {
    for (const char* version : kVersions) {
        std::string p = Plain(version, 2, version);
        int before = OpenDescriptorCount();
        for (uint32_t m : {0xFFFFFFFFu, 0x20000000u, 1000000u}) {
            ASSERT_TRUE(rec::PatchU32(p, kCountAt, m));
            EXPECT_FALSE(OpenAs(version, p)) << version << " " << m;
        }
        EXPECT_EQ(OpenDescriptorCount(), before);
    }
}
