// Readers meet damaged cards: every cut, every flipped header byte and every
// huge length must end in a clean refusal or a clean end of reading.
#include <gtest/gtest.h>

#include <random>

#include "common/temp_dir.h"
#include "reader_test_util.h"

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
