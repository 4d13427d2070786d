#include "readers/reader_v500.h"

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "reader_test_util.h"
#include "readers/byte_order.h"
#include "readers/event_table.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// Layout: header 48, channel table 8 N, N index tables of 28800 bytes, the
// event table (43200) in some versions, frame data.
uint64_t IndexAt(uint64_t slots, uint64_t slot) { return 48 + 8 * slots + 28800 * (slot - 1); }
uint64_t DataAt(uint64_t slots, bool events) { return 48 + 28808 * slots + (events ? 43200 : 0); }

std::unique_ptr<CxFileReader> Make(const std::string& version, int channel) {
    if (version == "V500") return std::make_unique<CFileReaderV500>(channel);
    if (version == "V501") return std::make_unique<CFileReaderV501>(channel);
    if (version == "V502") return std::make_unique<CFileReaderV502>(channel);
    if (version == "V503") return std::make_unique<CFileReaderV503>(channel);
    if (version == "V510") return std::make_unique<CFileReaderV510>(channel);
    return std::make_unique<CFileReaderV600>(channel);
}

std::unique_ptr<CxFileReader> OpenAs(const std::string& version, const std::string& path, int channel = 0, int writable = 0) {
    auto r = Make(version, channel);
    if (r->Open(path, writable) != 1) return nullptr;
    return r;
}

rec::Channel Slot(uint8_t number, uint8_t present = 1, uint8_t fps = 5, uint16_t width = 352) {
    rec::Channel c;
    c.number = number;
    c.present = present;
    c.frameRate = fps;
    c.width = width;
    c.height = 288;
    return c;
}

// The records of the given channels, interleaved by time: 5 frames a second,
// a GPS fix (channel 0) every second, audio on request.
std::vector<rec::Record> Streams(const std::vector<uint8_t>& channels, uint32_t seconds, size_t audioBytes = 0) {
    std::vector<std::vector<rec::Record>> streams;
    for (uint8_t ch : channels) {
        rec::StreamOptions o;
        o.seconds = seconds;
        o.fps = 5;
        o.channel = ch;
        o.keyBytes = 300;
        o.videoBytes = 60;
        o.audioBytes = audioBytes;
        o.gps = streams.empty();
        streams.push_back(rec::MakeStream(o));
    }
    return rec::Interleave(streams);
}

class V500Test : public ::testing::Test {
protected:
    std::string Write(const rec::FileLayout& layout, const std::vector<rec::Record>& records, const std::string& name = "r.bin") {
        std::string p = dir_.File(name);
        EXPECT_TRUE(rec::WriteRecording(p, layout, records));
        return p;
    }
    // A file with the given slots, each channel numbered by its slot.
    std::string TwoChannels(const std::string& version, uint32_t seconds = 10, const std::string& name = "two") {
        rec::FileLayout layout;
        layout.version = version;
        layout.channels = {Slot(1, 1, 5, 352), Slot(2, 1, 10, 704)};
        return Write(layout, Streams({1, 2}, seconds), name);
    }
    TempDir dir_;
};

}  // namespace

TEST_F(V500Test, EachVersionIsOpenedByItsOwnReaderAndRejectedByTheOthers) {
    const char* versions[] = {"V600", "V510", "V503", "V502", "V501", "V500"};
    for (const char* v : versions) {
        std::string p = TwoChannels(v, 3, v);
        auto r = OpenRecordingReader(0, p, 0);
        ASSERT_TRUE(r) << v;
        EXPECT_STREQ(ReaderVersionName(*r), v);
        for (const char* other : versions) {
            if (std::string(other) != v) {
                EXPECT_FALSE(OpenAs(other, p)) << other << " opened " << v;
            }
        }
    }
}

TEST_F(V500Test, ChannelTableAndTheEnumeratingReader) {
    rec::FileLayout layout;
    layout.version = "V500";
    layout.name = "COACH-7";
    layout.headerWord = 0xABCD;
    layout.audioType = 4;
    layout.channels = {Slot(1, 1, 5, 352), Slot(2, 1, 10, 704)};
    std::string p = Write(layout, Streams({1, 2}, 10));

    auto r = OpenAs("V500", p, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetChannelCount(), 2);
    EXPECT_EQ(r->GetChannelId(0), 1);
    EXPECT_EQ(r->GetChannelId(1), 2);
    EXPECT_EQ(r->GetChannelId(2), 0);
    EXPECT_EQ(r->GetChannelId(8), 0);
    EXPECT_EQ(r->GetChannelId(-1), 0);
    // Selector 0 serves the first present slot but takes none of its entry.
    EXPECT_EQ(r->ChannelSelector(), 1);
    EXPECT_EQ(r->GetFrameRate(), 0);
    EXPECT_EQ(r->GetFrameInterval(), 40);
    EXPECT_EQ(r->GetWidth(), 0);
    EXPECT_EQ(r->GetAudioType(), 4);
    EXPECT_EQ(r->GetHeaderWord(), 0);
    EXPECT_EQ(r->GetDuration(), 9);  // span of the index: 9 s from the first to the last key frame
    StreamInfo info;
    r->GetInfo(&info);
    EXPECT_EQ(info.Name(), "COACH-7");
    EXPECT_EQ(info.headerWord, 0xABCDu);
    EXPECT_EQ(info.channelSlots, 2u);
    EXPECT_EQ(info.channelsPresent, 2u);
    EXPECT_EQ(info.oneChannelPerFile, 0u);
    EXPECT_EQ(info.duration, 9u);

    auto second = OpenAs("V500", p, 2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->GetFrameRate(), 10);
    EXPECT_EQ(second->GetFrameInterval(), 100);
    EXPECT_EQ(second->GetWidth(), 704);
    EXPECT_EQ(second->GetHeight(), 288);
    EXPECT_EQ(second->IndexEntryCount(), 10u);
}

TEST_F(V500Test, EachReaderTakesItsChannelAndTheFileWideGpsFixes) {
    rec::FileLayout layout;
    layout.version = "V502";
    layout.channels = {Slot(1), Slot(2), Slot(3)};
    auto records = Streams({1, 2, 3}, 4);
    records.insert(records.begin() + 5, rec::Record{1, 0, 1, 1001, {1, 2, 3}});  // file-wide video: nobody's
    records.insert(records.begin() + 6, rec::Record{2, 0, 0, 1002, {4, 5}});     // file-wide audio: nobody's
    std::string p = Write(layout, records);
    for (uint8_t ch : {1, 2, 3}) {
        auto r = OpenAs("V502", p, ch);
        ASSERT_TRUE(r);
        std::vector<const rec::Record*> expected;
        for (const rec::Record& rec : records) {
            if (rec.channel == ch || (rec.channel == 0 && rec.type == 4)) expected.push_back(&rec);
        }
        auto units = ReadAll(*r);
        ASSERT_EQ(units.size(), ch == 3 ? expected.size() - 1 : expected.size()) << int(ch);  // the file's last record is channel 3's
        for (size_t i = 0; i < units.size(); ++i) {
            RecordHeader h = units[i]->Header();
            EXPECT_EQ(h.Channel(), expected[i]->channel);
            EXPECT_EQ(h.Type(), expected[i]->type);
            EXPECT_EQ(h.timestamp, expected[i]->timestamp);
            EXPECT_EQ(h.length, expected[i]->payload.size());
            if (h.Type() == kTypeGps) {
                EXPECT_EQ(units[i]->Used(), 62u);
                EXPECT_EQ(GpsFix::Parse(units[i]->Payload()).year, 2016);
            } else {
                ASSERT_EQ(units[i]->PayloadSize(), expected[i]->payload.size());
                EXPECT_EQ(0, std::memcmp(units[i]->Payload(), expected[i]->payload.data(), h.length));
            }
        }
        // Aux reads take only the file-wide records that are neither video nor audio.
        r->Rewind();
        auto aux = ReadAll(*r, 0, 1);
        ASSERT_EQ(aux.size(), 4u);
        for (auto& u : aux) EXPECT_EQ(u->Header().kind, 0x40);
    }
}

TEST_F(V500Test, FilesWithGapsAmongThePresentSlotsServeEveryChannelBySlotNumber) {
    rec::FileLayout layout;
    layout.version = "V500";
    layout.channels = {Slot(1, 0), Slot(2, 1, 6, 320), Slot(3, 0), Slot(4, 1, 8, 640)};
    std::string p = Write(layout, Streams({2, 4}, 6));
    auto enumerating = OpenAs("V500", p, 0);
    ASSERT_TRUE(enumerating);
    ASSERT_EQ(enumerating->GetChannelCount(), 2);
    EXPECT_EQ(enumerating->GetChannelId(0), 2);
    EXPECT_EQ(enumerating->GetChannelId(1), 4);
    EXPECT_EQ(enumerating->ChannelSelector(), 2);

    // The catalogue opens one reader per slot number it was given.
    for (int i = 0; i < 2; ++i) {
        int slot = enumerating->GetChannelId(i);
        auto r = OpenAs("V500", p, slot);
        ASSERT_TRUE(r) << slot;
        EXPECT_EQ(r->ChannelSelector(), slot);
        EXPECT_EQ(r->GetFrameRate(), slot == 2 ? 6 : 8);
        EXPECT_EQ(r->GetWidth(), slot == 2 ? 320 : 640);
        EXPECT_EQ(r->IndexEntryCount(), 6u);
        r->SeekToSecond(3);
        EXPECT_EQ(r->GetPosition(), 3u);
        auto units = ReadAll(*r);
        ASSERT_FALSE(units.empty());
        for (auto& u : units) EXPECT_TRUE(u->Header().Channel() == slot || u->Header().Channel() == 0);
    }
    // A selector that names no present slot counts present entries instead.
    auto first = OpenAs("V500", p, 1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->ChannelSelector(), 2);
    EXPECT_EQ(first->GetFrameRate(), 6);
}

TEST_F(V500Test, LaterVersionsFindTheEntryByChannelNumber) {
    rec::FileLayout layout;
    layout.version = "V501";
    layout.audioType = 2;
    layout.shortHeaderWord = 0x1234;
    layout.channels = {Slot(1, 1, 5), Slot(2, 0, 7), Slot(2, 1, 9)};  // the absent entry with number 2 is passed over
    std::string p = Write(layout, Streams({1, 2}, 3));
    auto r = OpenAs("V501", p, 2);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetFrameRate(), 9);
    EXPECT_EQ(r->GetAudioType(), 2);  // at offset 41 in the later header
    EXPECT_EQ(r->GetHeaderWord(), 0x1234);
    EXPECT_EQ(r->HiddenStream, 0);
    // No entry has number 7: the reader still opens, without stream parameters.
    auto none = OpenAs("V501", p, 7);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->GetFrameRate(), 0);
    EXPECT_EQ(none->ChannelSelector(), 7);
    EXPECT_EQ(none->IndexEntryCount(), 0u);  // there is no seventh slot to take a table from
}

TEST_F(V500Test, HiddenStreamFlagOfVersion501) {
    for (uint16_t word : {0xF003, 0xF007, 0xF005}) {
        for (const char* version : {"V501", "V502"}) {
            rec::FileLayout layout;
            layout.version = version;
            layout.shortHeaderWord = word;
            layout.channels = {Slot(1)};
            auto r = OpenAs(version, Write(layout, Streams({1}, 2)));
            ASSERT_TRUE(r);
            bool hidden = std::string(version) == "V501" && word != 0xF005;
            EXPECT_EQ(r->HiddenStream, hidden ? 1 : 0) << version << " " << word;
            EXPECT_EQ(r->GetHeaderWord(), word);
        }
    }
}

TEST_F(V500Test, FirstVideoRecordAndAudioProbe) {
    // Channel 2 has no video in the first 401 records: version 0x500 looks for
    // the selected channel's video, the later versions take any channel's.
    std::vector<rec::Record> records;
    for (int i = 0; i < 410; ++i) records.push_back({1, 1, uint8_t(i % 5 == 0), uint64_t(1000 + i * 40), {1, 2, 3}});
    records.push_back({1, 2, 1, 20000, {4}});
    records.push_back({1, 2, 0, 20040, {5}});
    for (const char* version : {"V500", "V501"}) {
        rec::FileLayout layout;
        layout.version = version;
        layout.channels = {Slot(1), Slot(2)};
        std::string p = Write(layout, records, version);
        EXPECT_TRUE(OpenAs(version, p, 1));
        auto second = OpenAs(version, p, 2);
        EXPECT_EQ(second != nullptr, std::string(version) == "V501");
        if (second) {
            EXPECT_EQ(second->FirstTimestamp(), 1000u);
        }
    }

    // The audio probe looks at the first 50 records of the channel and leaves
    // the reader at the start of the data with its clock at the first frame.
    rec::FileLayout layout;
    layout.version = "V503";
    layout.channels = {Slot(1), Slot(2)};
    auto withAudio = Streams({1}, 3);
    rec::StreamOptions o;
    o.channel = 2;
    o.seconds = 3;
    o.audioBytes = 20;
    withAudio = rec::Interleave({withAudio, rec::MakeStream(o)});
    std::string p = Write(layout, withAudio, "audio");
    auto silent = OpenAs("V503", p, 1);
    auto loud = OpenAs("V503", p, 2);
    ASSERT_TRUE(silent && loud);
    EXPECT_EQ(silent->HasAudio(), 0);
    EXPECT_EQ(silent->GetPosition(), 0u);  // the probe read all of channel 1
    EXPECT_EQ(loud->HasAudio(), 1);
    EXPECT_EQ(loud->GetPosition(), 0u);
    EXPECT_EQ(loud->Tell(), DataAt(2, true));
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(loud->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, withAudio[0].timestamp);
}

TEST_F(V500Test, EndMarkerEndsTheDataEvenWithBytesBehindIt) {
    for (const char* version : {"V502", "V510"}) {
        rec::FileLayout layout;
        layout.version = version;
        layout.channels = {Slot(1)};
        layout.endMarker = true;
        auto records = Streams({1}, 2);
        std::string p = Write(layout, records, version);
        // Good records of a later recording behind the marker.
        std::string more = dir_.File(std::string(version) + "-more");
        ASSERT_TRUE(rec::WriteRecording(more, layout, Streams({1}, 2)));
        std::string tail = ReadFileBytes(more)->substr(DataAt(1, layout.version == "V502"));
        std::string bytes = *ReadFileBytes(p);
        ASSERT_TRUE(rec::Patch(p, bytes.size(), std::vector<uint8_t>(tail.begin(), tail.end())));

        auto r = OpenAs(version, p, 1);
        ASSERT_TRUE(r);
        auto units = ReadAll(*r);
        EXPECT_EQ(units.size(), records.size()) << version;  // all of them: the last no longer ends the file
        EXPECT_EQ(r->IsAtEnd(), 0);
        r->Rewind();
        EXPECT_EQ(ReadAll(*r, 0, 1).size(), 2u);
    }
}

TEST_F(V500Test, Version510UsesEighteenByteHeadersWithThirtyTwoBitTimes) {
    rec::FileLayout layout;
    layout.version = "V510";
    layout.channels = {Slot(1), Slot(2)};
    auto records = Streams({1, 2}, 5);
    for (auto& r : records) r.timestamp += 0x100000000ull;  // the high half is not stored
    std::string p = Write(layout, records);
    auto r = OpenAs("V510", p, 2);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->FirstTimestamp(), 1000u);
    EXPECT_EQ(r->IndexEntryCount(), 5u);
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().kind, 0x40);
    EXPECT_EQ(GetU32(u->Buffer() + 18), 0u);  // high half of the timestamp
    r->SeekToSecond(2);
    EXPECT_EQ(r->GetPosition(), 2u);
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);  // the step back was 18 bytes: the key frame itself
    EXPECT_EQ(u->Header().kind, 0x12);
    EXPECT_EQ(u->Header().flag, 1);
    EXPECT_EQ(u->Header().timestamp, 3000u);
    ASSERT_EQ(r->ReadFrame(1, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 4000u);
}

TEST_F(V500Test, EventTableIsLoadedWholeByVersions502And503Only) {
    std::vector<std::array<uint32_t, 3>> events = {{1, 100, 7}, {2, 200, 8}, {3, 0, 9}, {4, 400, 10}};
    for (const char* version : {"V502", "V503", "V600", "V501"}) {
        rec::FileLayout layout;
        layout.version = version;
        layout.channels = {Slot(1)};
        layout.events = events;
        std::string p = Write(layout, Streams({1}, 2), version);
        auto r = OpenAs(version, p, 1);
        ASSERT_TRUE(r) << version;
        bool loads = std::string(version) == "V502" || std::string(version) == "V503";
        EXPECT_EQ(r->EventTableLoaded(), loads) << version;
        auto walked = WalkEventTable(r->EventTable(), r->EventTableLoaded());
        ASSERT_EQ(walked.size(), loads ? 2u : 0u) << version;
        if (loads) {
            EXPECT_EQ(walked[1], (EventEntry{2, 200, 8}));
        }
    }
    // A file cut inside the event table: nothing is taken from it.
    rec::FileLayout layout;
    layout.version = "V502";
    layout.channels = {Slot(1)};
    layout.events = events;
    std::string p = Write(layout, Streams({1}, 2), "cut");
    ASSERT_TRUE(rec::Truncate(p, DataAt(1, false) + 43199));
    CFileReaderV502 cut(1);
    EXPECT_EQ(cut.Open(p, 0), 0);
    EXPECT_FALSE(cut.EventTableLoaded());
}

TEST_F(V500Test, Version600KeepsTheStoredLength) {
    for (const char* version : {"V600", "V502"}) {
        rec::FileLayout layout;
        layout.version = version;
        layout.lengthField = 77;
        layout.channels = {Slot(1)};
        auto r = OpenAs(version, Write(layout, Streams({1}, 10), version), 1);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->GetDuration(), std::string(version) == "V600" ? 77 : 9);
    }
    rec::FileLayout layout;
    layout.version = "V600";
    layout.lengthField = 0;
    layout.channels = {Slot(1)};
    auto r = OpenAs("V600", Write(layout, Streams({1}, 10), "zero"), 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetDuration(), 0);
    uint32_t at = r->Tell();
    r->SeekToSecond(5);  // without a length there is no seeking
    EXPECT_EQ(r->Tell(), at);
}

TEST_F(V500Test, IndexLoadingLimits) {
    auto entries = [&](std::vector<IndexEntry> e, rec::StreamOptions o = {}) {
        rec::FileLayout layout;
        layout.version = "V500";
        layout.channels = {Slot(1)};
        layout.indexOverride = e;
        o.channel = 1;
        auto r = OpenAs("V500", Write(layout, rec::MakeStream(o), "idx"), 1);
        return r ? r->IndexEntryCount() : 9999u;
    };
    uint32_t d = static_cast<uint32_t>(DataAt(1, false));
    EXPECT_EQ(entries({{0, d}, {1000, d + 5000}, {2000, d + 100}}), 2u);    // backwards
    EXPECT_EQ(entries({{0, d}, {0, 0}, {2000, d + 100}}), 1u);              // all zeros
    EXPECT_EQ(entries({{0, d}, {0xFFFFFFFF, 0xFFFFFFFF}}), 1u);             // empty slot
    EXPECT_EQ(entries({{0, d}, {1000, 60000000}}), 1u);                     // outside the file
    EXPECT_EQ(entries({{5, 0}, {6, d}}), 2u);                               // offset 0 with a time is taken
    rec::StreamOptions big;  // key frames 9 MB apart, one a second
    big.seconds = 3;
    big.fps = 1;
    big.keyBytes = 9000000;
    uint32_t second = d + 24 + 9000000;
    EXPECT_EQ(entries({{0, d}, {1000, second}}, big), 2u);        // within the jump limit
    EXPECT_EQ(entries({{0, d}, {1000, d + 10000001}}, big), 1u);  // more than 10,000,000 bytes on
    EXPECT_EQ(entries({{0, 10000001}}, big), 0u);                 // the first entry too far in

    std::vector<IndexEntry> full;
    for (uint32_t i = 0; i < 3600; ++i) full.push_back({i * 1000, d});
    EXPECT_EQ(entries(full), 3600u);
}

TEST_F(V500Test, SeekingAndKeyFrameSteppingFollowTheSelectedChannel) {
    std::string p = TwoChannels("V501", 10);
    auto r = OpenAs("V501", p, 2);
    ASSERT_TRUE(r);
    r->SeekToSecond(6);
    EXPECT_EQ(r->GetPosition(), 6u);
    std::unique_ptr<CxMemUnit> u;
    ASSERT_EQ(r->ReadFrame(0, u, 0), 1);
    EXPECT_EQ(u->Header().kind, 0x12);
    EXPECT_EQ(u->Header().timestamp, 7000u);
    ASSERT_EQ(r->ReadFrame(-1, u, 0), 1);
    EXPECT_EQ(u->Header().timestamp, 6000u);
    EXPECT_EQ(u->Header().Channel(), 2);
    r->SeekToSecond(10);  // entries 0..9: past the last one is the end of the file
    EXPECT_EQ(r->IsAtEnd(), 1);
    EXPECT_EQ(r->ReadFrame(0, u, 0), 0);

    // Index entry 3 of channel 2 pointed at a channel-1 record: the reader
    // skips that record and goes on from behind it.
    auto c1 = OpenAs("V501", p, 1);
    c1->SeekToSecond(3);
    uint32_t c1Key = c1->Tell();
    ASSERT_TRUE(rec::PatchU32(p, IndexAt(2, 2) + 3 * 8 + 4, c1Key));
    auto damaged = OpenAs("V501", p, 2);
    ASSERT_TRUE(damaged);
    uint64_t before = damaged->GetPosition();
    damaged->SeekToSecond(3);
    EXPECT_EQ(damaged->Tell(), c1Key + 24 + 300);
    EXPECT_EQ(damaged->GetPosition(), before);
}

TEST_F(V500Test, RebuildRestoresDamagedTablesOfEverySlot) {
    for (const char* version : {"V502", "V510", "V600"}) {
        std::string p = TwoChannels(version, 12, version);
        // Damage: wipe both tables and the length.
        ASSERT_TRUE(rec::Patch(p, IndexAt(2, 1), std::vector<uint8_t>(2 * 28800, 0)));
        ASSERT_TRUE(rec::PatchU32(p, 28, 0));
        auto r = OpenAs(version, p, 2, 1);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->IndexEntryCount(), 0u);
        r->Close();  // the repair command closes first; the rebuild re-opens by itself
        g_StopRebuildIndex = false;
        EXPECT_EQ(r->RebuildIndex(), 1) << version;
        EXPECT_EQ(r->IndexEntryCount(), 12u);
        r.reset();

        std::string bytes = *ReadFileBytes(p);
        auto u32 = [&](uint64_t at) { return GetU32(reinterpret_cast<const uint8_t*>(&bytes[at])); };
        EXPECT_EQ(u32(28), 12u);
        EXPECT_EQ(u32(IndexAt(2, 2) + 11 * 8), 11000u);
        EXPECT_EQ(u32(IndexAt(2, 2) + 12 * 8), 0xFFFFFFFFu);
        for (int ch : {1, 2}) {
            auto after = OpenAs(version, p, ch);
            ASSERT_TRUE(after);
            EXPECT_EQ(after->IndexEntryCount(), 12u);
            EXPECT_EQ(after->GetDuration(), std::string(version) == "V600" ? 12 : 11);
            after->SeekToSecond(7);
            EXPECT_EQ(after->GetPosition(), 7u);
            std::unique_ptr<CxMemUnit> u;
            ASSERT_EQ(after->ReadFrame(0, u, 0), 1);
            EXPECT_EQ(u->Header().Channel(), ch);
            EXPECT_EQ(u->Header().timestamp, 8000u);
        }
    }
}

TEST_F(V500Test, CancelledReadOnlyAndNeverOpenedRebuildsWriteNothing) {
    std::string p = TwoChannels("V500", 4);
    ASSERT_TRUE(rec::Patch(p, IndexAt(2, 1), std::vector<uint8_t>(16, 0)));
    const std::string original = *ReadFileBytes(p);

    auto ro = OpenAs("V500", p, 1);
    ASSERT_TRUE(ro);
    EXPECT_EQ(ro->RebuildIndex(), -1);  // opened read-only: cannot write

    auto rw = OpenAs("V500", p, 1, 1);
    ASSERT_TRUE(rw);
    g_StopRebuildIndex = true;
    EXPECT_EQ(rw->RebuildIndex(), 0);
    g_StopRebuildIndex = false;
    EXPECT_EQ(*ReadFileBytes(p), original);

    CFileReaderV500 never(1);
    EXPECT_EQ(never.RebuildIndex(), 0);
    EXPECT_EQ(*ReadFileBytes(p), original);
}

TEST_F(V500Test, RejectsWhatItCannotRead) {
    std::string good = TwoChannels("V500", 2);
    const std::string bytes = *ReadFileBytes(good);
    auto variant = [&](const std::string& name, auto change) {
        std::string b = bytes;
        change(b);
        return dir_.Write(name, b);
    };
    int before = OpenDescriptorCount();
    std::vector<std::string> bad = {
        variant("short-header", [](std::string& b) { b.resize(47); }),
        variant("short-table", [](std::string& b) { b.resize(48 + 12); }),
        variant("magic", [](std::string& b) { b[0] = 0; }),
        variant("none-present", [](std::string& b) { b[48 + 2] = b[56 + 2] = 0; }),
        variant("bad-sync", [](std::string& b) { b[DataAt(2, false)] ^= 1; }),
        variant("cut-data", [](std::string& b) { b.resize(DataAt(2, false) + 10); }),
        dir_.File("missing"),
    };
    for (const std::string& p : bad) {
        for (const char* version : {"V500", "V501", "V502", "V503", "V510", "V600"}) {
            EXPECT_FALSE(OpenAs(version, p, 0)) << p;
            EXPECT_FALSE(OpenAs(version, p, 1, 1)) << p;
        }
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(V500Test, ManySlotsAndChannelNumbersBeyondTheNibble) {
    // 255 slots, all present: at most 8 are reported; the selector may name
    // any slot, including ones whose number cannot appear in a record.
    rec::FileLayout layout;
    layout.version = "V503";
    for (int k = 1; k <= 255; ++k) layout.channels.push_back(Slot(static_cast<uint8_t>(k)));
    std::string p = Write(layout, Streams({1, 9, 15}, 2));
    auto r = OpenAs("V503", p, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetChannelCount(), 8);
    EXPECT_EQ(r->GetChannelId(7), 8);
    StreamInfo info;
    r->GetInfo(&info);
    EXPECT_EQ(info.channelSlots, 255u);
    EXPECT_EQ(info.channelsPresent, 8u);
    EXPECT_EQ(r->Tell(), DataAt(255, true));

    auto fifteen = OpenAs("V503", p, 15);
    ASSERT_TRUE(fifteen);
    EXPECT_EQ(fifteen->IndexEntryCount(), 2u);
    auto units = ReadAll(*fifteen);
    EXPECT_FALSE(units.empty());
    for (int selector : {16, 200, 255, 300, -3}) {
        auto s = OpenAs("V503", p, selector);
        ASSERT_TRUE(s) << selector;
        EXPECT_EQ(s->IndexEntryCount(), 0u);
        for (auto& u : ReadAll(*s)) EXPECT_EQ(u->Header().kind, 0x40);  // only the file-wide fixes
    }
    g_StopRebuildIndex = false;
    auto rw = OpenAs("V503", p, 9, 1);
    ASSERT_TRUE(rw);
    EXPECT_EQ(rw->RebuildIndex(), 1);
    EXPECT_EQ(rw->IndexEntryCount(), 2u);
}
