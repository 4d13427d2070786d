// Readers meet damaged cards: every cut, every flipped header byte and every
// huge length must end in a clean refusal or a clean end of reading.
#include <gtest/gtest.h>

#include <random>

#include "common/temp_dir.h"
#include "reader_test_util.h"
#include "readers/byte_order.h"
#include "readers/event_table.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// Opens with the factory and drives every operation a consumer uses.
void Exercise(const std::string& path) {
    for (int channel : {0, 1}) {
        auto r = OpenRecordingReader(0, path, channel);
        if (!r) continue;
        StreamInfo info;
        r->GetInfo(&info);
        for (int mode : {0, 1, -1}) {
            r->Rewind();
            ReadAll(*r, mode, 0, 5000);
        }
        r->Rewind();
        ReadAll(*r, 0, 1, 5000);
        for (int s : {0, 1, 3, 1000, -1, 0x7FFFFFFF}) {
            r->SeekToSecond(s);
            std::unique_ptr<CxMemUnit> u;
            r->ReadFrame(0, u, 0);
        }
    }
}

}  // namespace

TEST(Robustness, EveryTruncationOfASmallFile) {
    TempDir dir;
    rec::Spec spec;
    spec.version = "V800";
    rec::StreamOptions o;
    o.seconds = 2;
    o.fps = 3;
    o.keyBytes = o.videoBytes = 50;
    o.gps = true;
    std::string p = dir.File("full");
    ASSERT_TRUE(rec::WriteRecording(p, spec, rec::MakeStream(o)));
    std::string bytes = *ReadFileBytes(p);
    // Around the header and index, every length; in the data area, every byte.
    for (size_t cut = 0; cut <= bytes.size(); cut += (cut < 120 || cut > 28800) ? 1 : 997) {
        dir.Write("cut", bytes.substr(0, cut));
        Exercise(dir.File("cut"));
    }
}

TEST(Robustness, RandomDamageToHeadersAndLengths) {
    TempDir dir;
    std::mt19937 rng(1234);
    for (const char* version : {"V700", "V800"}) {
        rec::Spec spec;
        spec.version = version;
        rec::StreamOptions o;
        o.seconds = 3;
        o.fps = 4;
        o.keyBytes = o.videoBytes = 40;
        o.audioBytes = 16;
        o.gps = true;
        std::string p = dir.File("full");
        ASSERT_TRUE(rec::WriteRecording(p, spec, rec::MakeStream(o)));
        const std::string bytes = *ReadFileBytes(p);
        for (int round = 0; round < 300; ++round) {
            std::string damaged = bytes;
            int flips = 1 + round % 8;
            for (int i = 0; i < flips; ++i) {
                // Mostly the header, the first index slots and the frame headers.
                size_t at = round % 3 == 0 ? rng() % 64 : round % 3 == 1 ? 56 + rng() % 64 : 28896 + rng() % (bytes.size() - 28896);
                damaged[at] = static_cast<char>(round % 2 ? 0xFF : rng());
            }
            dir.Write("d", damaged);
            Exercise(dir.File("d"));
        }
    }
}

TEST(Robustness, FilesOfFourGigabytesAndMore) {
    TempDir dir;
    rec::Spec spec;
    std::string p = dir.File("big");
    ASSERT_TRUE(rec::WriteRecording(p, spec, rec::MakeStream({})));
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

namespace {

// Files of every channel at once: the enumerating reader, each channel it
// names, and selectors that name no channel of the file.
void ExerciseChannels(const std::string& path) {
    std::vector<int> selectors = {0, 9, 15, 200, -1};
    if (auto first = OpenRecordingReader(0, path, 0)) {
        for (int i = 0; i < first->GetChannelCount() && i < 8; ++i) selectors.push_back(first->GetChannelId(i));
        WalkEventTable(first->EventTable(), first->EventTableLoaded());
    }
    for (int channel : selectors) {
        auto r = OpenRecordingReader(0, path, channel);
        if (!r) continue;
        StreamInfo info;
        r->GetInfo(&info);
        for (int mode : {0, 1, -1}) {
            r->Rewind();
            ReadAll(*r, mode, 0, 5000);
        }
        r->Rewind();
        ReadAll(*r, 0, 1, 5000);
        for (int s : {0, 1, 3, 1000, -1, 0x7FFFFFFF}) {
            r->SeekToSecond(s);
            std::unique_ptr<CxMemUnit> u;
            r->ReadFrame(0, u, 0);
        }
    }
}

// Slots 1 and 3 present, slot 2 not; audio on channel 3, GPS for the file.
std::string WriteMultiChannel(const TempDir& dir, const char* version) {
    rec::Spec spec;
    spec.version = version;
    rec::Channel one, two, three;
    two.number = 2;
    two.present = 0;
    three.number = 3;
    spec.channels = {one, two, three};
    spec.events = {{1, 2, 3}, {4, 5, 6}};
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
    EXPECT_TRUE(rec::WriteRecording(p, spec, rec::Interleave({rec::MakeStream(a), rec::MakeStream(b)})));
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
        for (size_t cut = size + 1; cut-- > 0;) {
            if (cut + 24 < dataStart && cut > tablesEnd && cut % 1999 != 0) continue;
            ASSERT_TRUE(rec::Truncate(p, cut));
            ExerciseChannels(p);
        }
    }
}

TEST(Robustness, RandomDamageToMultiChannelFiles) {
    TempDir dir;
    std::mt19937 rng(4321);
    for (const char* version : kMultiChannelVersions) {
        const std::string bytes = *ReadFileBytes(WriteMultiChannel(dir, version));
        const size_t tables = 48 + 3 * 8;
        const size_t data = MultiChannelDataStart(version);
        for (int round = 0; round < 240; ++round) {
            std::string damaged = bytes;
            for (int i = 0, flips = 1 + round % 6; i < flips; ++i) {
                size_t at;
                switch (round % 5) {
                    case 0: at = rng() % tables; break;                               // header and channel table
                    case 1: at = tables + (rng() % 3) * 28800 + rng() % 48; break;   // first slots of each index table
                    case 2: at = data - 43200 + rng() % 48; break;                    // the event table (or index of slot 3)
                    default: at = data + rng() % (bytes.size() - data); break;        // frame headers and payloads
                }
                damaged[at] = static_cast<char>(round % 2 ? 0xFF : rng());
            }
            // Slot counts up to 255, channel numbers 0 and above 8, huge lengths.
            if (round % 7 == 0) damaged[std::string(version) == "V500" ? 44 : 42] = static_cast<char>(rng() % 256);
            if (round % 11 == 0) damaged[49 + 8 * (rng() % 3)] = static_cast<char>(rng() % 256);
            dir.Write("d", damaged);
            ExerciseChannels(dir.File("d"));
            if (round % 12 == 0) {
                // The repair: open writable, close, rebuild from the damaged data.
                if (auto r = OpenRecordingReader(1, dir.File("d"), 0)) {
                    r->Close();
                    g_StopRebuildIndex = false;
                    r->RebuildIndex();
                    r.reset();
                    ExerciseChannels(dir.File("d"));
                }
            }
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
            ExerciseChannels(dir.File("huge"));
        }
        // 255 slots claimed by a file that holds three.
        std::string many = bytes;
        many[std::string(version) == "V500" ? 44 : 42] = static_cast<char>(255);
        dir.Write("many", many);
        ExerciseChannels(dir.File("many"));
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
    rec::Spec spec;
    spec.version = f.version;
    spec.trailer = f.trailer;
    spec.companionIndex = f.companion;
    std::string p = dir.File(name);
    EXPECT_TRUE(rec::WriteRecording(p, spec, OlderStream()));
    return p;
}

// Everything a consumer does, then the repair command's close and rebuild.
void ExerciseWithRepair(const std::string& path) {
    Exercise(path);
    if (auto r = OpenRecordingReader(1, path, 0)) {
        r->Close();
        g_StopRebuildIndex = false;
        r->RebuildIndex();
        r.reset();
        Exercise(path);
    }
}

}  // namespace

TEST(Robustness, EveryTruncationOfTheOlderVersions) {
    TempDir dir;
    for (const OlderFile& f : kOlderFiles) {
        const std::string bytes = *ReadFileBytes(WriteOlder(dir, f, "full"));
        // The companion file stays whole while the recording is cut.
        if (f.companion) dir.Write("cut.idx", *ReadFileBytes(dir.File("full.idx")));
        // Every length through the header, the index and the first records and
        // through the trailer; in between every third.
        for (size_t cut = 0; cut <= bytes.size(); cut += (cut < 180 || cut + 60 > bytes.size()) ? 1 : 3) {
            dir.Write("cut", bytes.substr(0, cut));
            if (cut % 25 == 0) ExerciseWithRepair(dir.File("cut"));
            else Exercise(dir.File("cut"));
        }
        std::filesystem::remove(dir.File("cut.idx"));
    }
}

TEST(Robustness, RandomDamageToTheOlderVersions) {
    TempDir dir;
    std::mt19937 rng(777);
    for (const OlderFile& f : kOlderFiles) {
        const std::string bytes = *ReadFileBytes(WriteOlder(dir, f, "full"));
        if (f.companion) dir.Write("d.idx", *ReadFileBytes(dir.File("full.idx")));
        for (int round = 0; round < 160; ++round) {
            std::string damaged = bytes;
            for (int i = 0, flips = 1 + round % 6; i < flips; ++i) {
                size_t at;
                switch (round % 4) {
                    case 0: at = rng() % 100; break;                        // the header
                    case 1: at = 100 + rng() % 120; break;                  // index (V400 family) or first frames
                    case 2: at = bytes.size() - 1 - rng() % 120; break;     // index and trailer at the end
                    default: at = rng() % bytes.size(); break;
                }
                damaged[at] = static_cast<char>(round % 2 ? 0xFF : rng());
            }
            dir.Write("d", damaged);
            if (round % 10 == 0) ExerciseWithRepair(dir.File("d"));
            else Exercise(dir.File("d"));
        }
        std::filesystem::remove(dir.File("d.idx"));
    }
}

TEST(Robustness, HugeCountsSizesAndOffsetsInTheOlderVersions) {
    TempDir dir;
    const uint32_t huge[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFF8u, 1000000u, 101u};
    for (const OlderFile& f : kOlderFiles) {
        const std::string p = WriteOlder(dir, f, "full");
        const std::string bytes = *ReadFileBytes(p);
        const std::string version = f.version;
        std::vector<uint64_t> fields;  // where the versions keep counts, offsets and sizes
        if (version[1] == '4') fields = {45};
        if (version == "V120") fields = {44, 48};
        if (f.trailer) fields.insert(fields.end(), {bytes.size() - 12, bytes.size() - 8, bytes.size() - 4});
        for (uint64_t at : fields) {
            for (uint32_t value : huge) {
                std::string damaged = bytes;
                PutU32(reinterpret_cast<uint8_t*>(&damaged[at]), value);
                dir.Write("h", damaged);
                ExerciseWithRepair(dir.File("h"));
            }
        }
        // Payload lengths of 0xFFFF in the first frame header (offset 10 in
        // every layout but 0x402's, where it is 12).
        std::string damaged = bytes;
        size_t data = version[1] == '4' ? 100 + 8 * 3 : 100;
        damaged[data + (version == "V402" ? 12 : 10)] = '\xFF';
        damaged[data + (version == "V402" ? 13 : 11)] = '\xFF';
        dir.Write("h", damaged);
        ExerciseWithRepair(dir.File("h"));
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
