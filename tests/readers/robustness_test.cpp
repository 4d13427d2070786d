// Readers meet damaged cards: every cut, every huge length and count must end
// in a clean refusal or a clean end of reading, with well-formed records on
// the way. Random damage to every version, with the same checks, is the work
// of the fuzz targets (fuzz_smoke_readers, fuzz_smoke_rebuild).
#include <gtest/gtest.h>

#include <algorithm>

#include "common/temp_dir.h"
#include "reader_exercise.h"
#include "reader_test_util.h"
#include "readers/byte_order.h"
#include "readers/event_table.h"
#include "readers/probe.h"

using namespace corvane;
using namespace corvane::test;

namespace {

using Records = std::vector<std::string>;  // each record's header and payload bytes

// Opens the file with each channel selector and drives every operation a
// consumer uses, with the fuzz targets' checks of every record. Returns, per
// selector, the records read from the start (none for a reader that did not
// open).
std::vector<Records> Exercise(const std::string& path, const std::vector<int>& selectors = {0, 1}) {
    fuzz::SetCheckFailureHandler([](const char* file, int line, const char* condition) {
        ADD_FAILURE_AT(file, line) << "check failed: " << condition;
    });
    std::vector<Records> fromStart;
    for (int channel : selectors) {
        fromStart.emplace_back();
        auto r = OpenRecordingReader(0, path, channel);
        if (!r) continue;
        EXPECT_LE(r->GetChannelCount(), 8);
        WalkEventTable(r->EventTable(), r->EventTableLoaded());
        fuzz::ExerciseReader(*r);
        r->Rewind();
        for (fuzz::RecordImage& image : fuzz::ReadPass(*r, 0, 0)) fromStart.back().push_back(std::move(image.bytes));
    }
    return fromStart;
}

// A cut file gives the whole file's first records, in order, and then ends.
void ExpectPrefixes(const std::vector<Records>& cut, const std::vector<Records>& whole, size_t at) {
    ASSERT_EQ(cut.size(), whole.size());
    for (size_t i = 0; i < cut.size(); ++i) {
        EXPECT_LE(cut[i].size(), whole[i].size()) << "cut at " << at << ", selector #" << i;
        EXPECT_TRUE(std::equal(cut[i].begin(), cut[i].begin() + std::min(cut[i].size(), whole[i].size()),
                               whole[i].begin()))
            << "cut at " << at << ", selector #" << i;
    }
}

}  // namespace

TEST(Robustness, EveryTruncationOfASmallFile) {
    TempDir dir;
    rec::FileLayout layout;
    layout.version = "V800";
    rec::StreamOptions o;
    o.seconds = 2;
    o.fps = 3;
    o.keyBytes = o.videoBytes = 50;
    o.gps = true;
    std::string p = dir.File("full");
    ASSERT_TRUE(rec::WriteRecording(p, layout, rec::MakeStream(o)));
    std::string bytes = *ReadFileBytes(p);
    const std::vector<Records> whole = Exercise(p);
    ASSERT_FALSE(whole[0].empty());
    // Around the header and index, every length; in the data area, every byte.
    for (size_t cut = 0; cut <= bytes.size(); cut += (cut < 120 || cut > 28800) ? 1 : 997) {
        dir.Write("cut", bytes.substr(0, cut));
        ExpectPrefixes(Exercise(dir.File("cut")), whole, cut);
    }
}

TEST(Robustness, FilesOfFourGigabytesAndMore) {
    TempDir dir;
    rec::FileLayout layout;
    std::string p = dir.File("big");
    ASSERT_TRUE(rec::WriteRecording(p, layout, rec::MakeStream({})));
    // Grow it sparsely past 4 GiB: offsets and sizes need 64 bits now.
    ASSERT_TRUE(rec::Truncate(p, 0x140000000ull));
    auto r = OpenRecordingReader(0, p, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->IndexEntryCount(), 10u);
    auto units = ReadAll(*r);
    EXPECT_EQ(units.size(), 250u);  // the zeros behind the records end the reading
    r->SeekToSecond(20);             // past the index: the end of the file
    EXPECT_EQ(r->IsAtEnd(), 1);
}

// Without an index a seek estimates its place from the byte rate and lands
// anywhere in a record: every family slides over those bytes to the next
// video record of the reader's channel, and reading goes on from there.
TEST(Robustness, AnEstimatedSeekSlidesFromInsideARecordToTheNextVideoRecord) {
    TempDir dir;
    for (const std::string version : {"V600", "V700", "V800"}) {
        rec::FileLayout layout;
        layout.version = version;
        layout.writeIndex = false;
        layout.lengthField = 10;
        rec::StreamOptions o;
        o.audioBytes = 80;
        std::vector<rec::Record> records = rec::MakeStream(o);
        const bool multi = version == "V600";
        if (multi) {
            rec::Channel second;
            second.number = 2;
            layout.channels = {rec::Channel{}, second};
            o.channel = 1;
            std::vector<rec::Record> first = rec::MakeStream(o);
            o.channel = 2;
            records = rec::Interleave({first, rec::MakeStream(o)});
        }
        const std::string p = dir.File(version);
        ASSERT_TRUE(rec::WriteRecording(p, layout, records));
        auto r = OpenRecordingReader(0, p, multi ? 2 : 0);
        ASSERT_TRUE(r) << version;
        ASSERT_EQ(r->IndexEntryCount(), 0u);
        r->SeekToSecond(5);
        std::unique_ptr<CxMemUnit> u;
        ASSERT_EQ(r->ReadFrame(0, u, 0), 1) << version;
        EXPECT_EQ(u->Header().Type(), kTypeVideo) << version;
        if (multi) {
            EXPECT_EQ(u->Header().Channel(), 2);
        }
        EXPECT_GT(r->GetPosition(), 0u) << version;
        EXPECT_EQ(r->GetPosition(), (u->Header().timestamp - r->FirstTimestamp()) / 1000) << version;
        EXPECT_GT(ReadAll(*r).size(), 100u) << version;
    }
}

namespace {

// The enumerating reader, each channel of the file, a slot that is not
// present and selectors that name no channel of the file.
const std::vector<int> kMultiChannelSelectors = {0, 1, 3, 2, 9, 15, 200, -1};

// Slots 1 and 3 present, slot 2 not; audio on channel 3, GPS for the file.
std::string WriteMultiChannel(const TempDir& dir, const char* version) {
    rec::FileLayout layout;
    layout.version = version;
    rec::Channel one, two, three;
    two.number = 2;
    two.present = 0;
    three.number = 3;
    layout.channels = {one, two, three};
    layout.events = {{1, 2, 3}, {4, 5, 6}};
    rec::StreamOptions a;
    a.seconds = 2;
    a.fps = 3;
    a.keyBytes = a.videoBytes = 40;
    a.channel = 1;
    a.gps = true;
    rec::StreamOptions b = a;
    b.channel = 3;
    b.seconds = 1;
    b.gps = false;
    b.audioBytes = 16;
    std::string p = dir.File(std::string(version) + "-full");
    EXPECT_TRUE(rec::WriteRecording(p, layout, rec::Interleave({rec::MakeStream(a), rec::MakeStream(b)})));
    return p;
}

const char* const kMultiChannelVersions[] = {"V500", "V501", "V502", "V503", "V510", "V600"};

size_t MultiChannelDataStart(const std::string& version) {
    bool events = version == "V502" || version == "V503" || version == "V600";
    return 48 + 3 * 28808 + (events ? 43200 : 0);
}

}  // namespace

TEST(Robustness, EveryTruncationOfMultiChannelFiles) {
    TempDir dir;
    for (const char* version : kMultiChannelVersions) {
        // Every length through the frame data, the index and event tables in
        // large steps, every length through the channel table and the header:
        // the file is cut shorter and shorter.
        const std::string p = WriteMultiChannel(dir, version);
        const size_t size = ReadFileBytes(p)->size();
        const size_t dataStart = MultiChannelDataStart(version);
        const size_t tablesEnd = 48 + 3 * 8 + 16;
        const std::vector<Records> whole = Exercise(p, kMultiChannelSelectors);
        ASSERT_FALSE(whole[1].empty()) << version;
        for (size_t cut = size + 1; cut-- > 0;) {
            if (cut + 24 < dataStart && cut > tablesEnd && cut % 1999 != 0) continue;
            ASSERT_TRUE(rec::Truncate(p, cut));
            ExpectPrefixes(Exercise(p, kMultiChannelSelectors), whole, cut);
        }
    }
}

TEST(Robustness, HugeLengthsAndSlotCountsInMultiChannelFiles) {
    TempDir dir;
    for (const char* version : kMultiChannelVersions) {
        const std::string p = WriteMultiChannel(dir, version);
        const std::string bytes = *ReadFileBytes(p);
        const size_t data = MultiChannelDataStart(version);
        const size_t lengthAt = 12;  // in both frame header layouts
        for (uint32_t length : {0xFFFFFFFFu, 0x80000000u, 600000u, 512000u}) {
            // The length of the first and of the third record.
            std::string damaged = bytes;
            for (size_t record : {size_t(0), size_t(2)}) {
                size_t at = data;
                for (size_t i = 0; i < record; ++i) {
                    at += (std::string(version) == "V510" ? 18 : 24) +
                          GetU32(reinterpret_cast<const uint8_t*>(&bytes[at + lengthAt]));
                }
                ASSERT_LT(at + lengthAt + 4, damaged.size());
                PutU32(reinterpret_cast<uint8_t*>(&damaged[at + lengthAt]), length);
            }
            dir.Write("huge", damaged);
            // No length reaches past the end of the file: every reader refuses
            // the file or ends its reading at the first record.
            for (const Records& records : Exercise(dir.File("huge"), kMultiChannelSelectors)) {
                EXPECT_TRUE(records.empty()) << version << " length " << length;
            }
        }
        // 255 slots claimed by a file that holds three: the tables read are
        // the file's own bytes, and at most 8 channels are named.
        std::string many = bytes;
        many[std::string(version) == "V500" ? 44 : 42] = static_cast<char>(255);
        dir.Write("many", many);
        Exercise(dir.File("many"), kMultiChannelSelectors);
    }
}

namespace {

// The older versions: a small stream of every record kind, with the index
// where each version keeps it.
struct OlderFile {
    const char* version;
    bool trailer;
    bool companion;
};
const OlderFile kOlderFiles[] = {{"V400", false, false}, {"V401", false, false}, {"V402", false, false},
                                 {"V300", true, false},  {"V300", false, true},  {"V120", true, false},
                                 {"V120", false, false}};

std::vector<rec::Record> OlderStream() {
    std::vector<rec::Record> out;
    for (uint64_t s = 0; s < 3; ++s) {
        uint64_t t = 1000 + s * 1000;
        out.push_back({4, 0, 0, t, rec::GpsPayload(rec::SampleFix(static_cast<uint32_t>(s)))});
        out.push_back({1, 0, 1, t, std::vector<uint8_t>(40, static_cast<uint8_t>(s))});
        out.push_back({2, 0, 0, t + 10, std::vector<uint8_t>(16, 0x22)});
        out.push_back({1, 0, 0, t + 500, std::vector<uint8_t>(30, 0x33)});
    }
    return out;
}

std::string WriteOlder(const TempDir& dir, const OlderFile& f, const std::string& name) {
    rec::FileLayout layout;
    layout.version = f.version;
    layout.trailer = f.trailer;
    layout.companionIndex = f.companion;
    std::string p = dir.File(name);
    EXPECT_TRUE(rec::WriteRecording(p, layout, OlderStream()));
    return p;
}

// Everything a consumer does, then the repair command's close and rebuild,
// and everything again. Returns the records read from the start before the
// repair.
std::vector<Records> ExerciseWithRepair(const std::string& path) {
    std::vector<Records> before = Exercise(path);
    if (auto r = OpenRecordingReader(1, path, 0)) {
        r->Close();
        g_StopRebuildIndex = false;
        r->RebuildIndex();
        r.reset();
        Exercise(path);
    }
    return before;
}

}  // namespace

TEST(Robustness, EveryTruncationOfTheOlderVersions) {
    TempDir dir;
    for (const OlderFile& f : kOlderFiles) {
        const std::string full = WriteOlder(dir, f, "full");
        const std::string bytes = *ReadFileBytes(full);
        const std::vector<Records> whole = Exercise(full);
        EXPECT_FALSE(whole[0].empty()) << f.version;
        // The companion file stays whole while the recording is cut.
        if (f.companion) dir.Write("cut.idx", *ReadFileBytes(dir.File("full.idx")));
        // Every length through the header, the index and the first records and
        // through the trailer; in between every third.
        for (size_t cut = 0; cut <= bytes.size(); cut += (cut < 180 || cut + 60 > bytes.size()) ? 1 : 3) {
            dir.Write("cut", bytes.substr(0, cut));
            ExpectPrefixes(cut % 25 == 0 ? ExerciseWithRepair(dir.File("cut")) : Exercise(dir.File("cut")), whole, cut);
        }
        std::filesystem::remove(dir.File("cut.idx"));
    }
}

TEST(Robustness, HugeCountsSizesAndOffsetsInTheOlderVersions) {
    TempDir dir;
    const uint32_t huge[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFF8u, 1000000u, 101u};
    for (const OlderFile& f : kOlderFiles) {
        const std::string p = WriteOlder(dir, f, "full");
        const std::string bytes = *ReadFileBytes(p);
        const std::string version = f.version;
        const std::vector<Records> whole = Exercise(p);
        // Nothing huge is followed: what is read from the start are records
        // of the intact file.
        auto expectIntactRecords = [&](const std::vector<Records>& read, const std::string& what) {
            for (size_t i = 0; i < read.size(); ++i) {
                for (const std::string& record : read[i]) {
                    EXPECT_NE(std::find(whole[i].begin(), whole[i].end(), record), whole[i].end())
                        << version << " " << what << ", selector #" << i;
                }
            }
        };
        std::vector<uint64_t> fields;  // where the versions keep counts, offsets and sizes
        if (version[1] == '4') fields = {45};
        if (version == "V120") fields = {44, 48};
        if (f.trailer) fields.insert(fields.end(), {bytes.size() - 12, bytes.size() - 8, bytes.size() - 4});
        for (uint64_t at : fields) {
            for (uint32_t value : huge) {
                std::string damaged = bytes;
                PutU32(reinterpret_cast<uint8_t*>(&damaged[at]), value);
                dir.Write("h", damaged);
                expectIntactRecords(ExerciseWithRepair(dir.File("h")), std::to_string(value) + " at " + std::to_string(at));
            }
        }
        // Payload lengths of 0xFFFF in the first frame header (offset 10 in
        // every layout but 0x402's, where it is 12).
        std::string damaged = bytes;
        size_t data = version[1] == '4' ? 100 + 8 * 3 : 100;
        damaged[data + (version == "V402" ? 12 : 10)] = '\xFF';
        damaged[data + (version == "V402" ? 13 : 11)] = '\xFF';
        dir.Write("h", damaged);
        expectIntactRecords(ExerciseWithRepair(dir.File("h")), "payload length 0xFFFF");
    }
}

TEST(Robustness, HugeCompanionIndexFile) {
    TempDir dir;
    const std::string p = WriteOlder(dir, {"V300", false, true}, "rec");
    // Grow the companion sparsely to 3 GiB: it is never read whole.
    ASSERT_TRUE(rec::Truncate(p + ".idx", 0xC0000000ull));
    int before = OpenDescriptorCount();
    {
        auto r = OpenRecordingReader(0, p, 0);
        ASSERT_TRUE(r);
        EXPECT_STREQ(ReaderVersionName(*r), "V300");
        EXPECT_EQ(r->IndexEntryCount(), 12500u);  // at most 100000 bytes of entries
        EXPECT_EQ(ReadAll(*r).size(), OlderStream().size() - 1);  // every record but the last
        EXPECT_EQ(OpenDescriptorCount(), before + 1);  // the companion is closed again
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}
