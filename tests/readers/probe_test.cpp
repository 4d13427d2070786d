#include "readers/probe.h"

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "reader_test_util.h"

using namespace corvane;
using namespace corvane::test;

TEST(Probe, EachVersionIsOpenedByItsOwnReader) {
    TempDir dir;
    for (const char* version : {"V700", "V800"}) {
        rec::FileLayout layout;
        layout.version = version;
        std::string p = dir.File(version);
        ASSERT_TRUE(rec::WriteRecording(p, layout, rec::MakeStream({})));
        auto r = OpenRecordingReader(0, p, 0);
        ASSERT_TRUE(r) << version;
        EXPECT_STREQ(ReaderVersionName(*r), version);
    }
}

// The older versions check little more than their version word, so each
// file must be refused by every newer reader before its own is tried.
TEST(Probe, OlderVersionsAreOpenedByTheirOwnReaderOnly) {
    TempDir dir;
    struct Variant {
        const char* version;
        bool trailer;
        bool companion;
        uint32_t versionWord;
    };
    for (const Variant& v : {Variant{"V402", false, false, 0}, Variant{"V401", false, false, 0},
                             Variant{"V400", false, false, 0}, Variant{"V300", false, false, 0},
                             Variant{"V300", true, false, 0}, Variant{"V300", false, true, 0},
                             Variant{"V120", false, false, 0x101}, Variant{"V120", true, false, 0x102}}) {
        rec::FileLayout layout;
        layout.version = v.version;
        layout.trailer = v.trailer;
        layout.companionIndex = v.companion;
        if (v.versionWord) layout.versionWord = v.versionWord;
        rec::StreamOptions o;
        o.gps = true;
        o.audioBytes = 40;
        std::string p = dir.File(std::string(v.version) + (v.trailer ? "t" : "") + (v.companion ? "c" : ""));
        ASSERT_TRUE(rec::WriteRecording(p, layout, rec::MakeStream(o)));
        auto r = OpenRecordingReader(0, p, 0);
        ASSERT_TRUE(r) << p;
        EXPECT_STREQ(ReaderVersionName(*r), v.version) << p;
        EXPECT_EQ(r->FirstTimestamp(), 1000u);
    }
}

TEST(Probe, FilesNobodyAcceptsLeaveNoDescriptorOpen) {
    TempDir dir;
    rec::FileLayout layout;
    std::string good = dir.File("good");
    ASSERT_TRUE(rec::WriteRecording(good, layout, rec::MakeStream({})));
    std::string bad = dir.Write("bad", std::string(100000, 'x'));
    // A good header over a data area of garbage fails late, after the index loaded.
    std::string late = dir.File("late");
    std::string bytes = *ReadFileBytes(good);
    bytes.resize(28896 + 64);
    for (size_t i = 28896; i < bytes.size(); ++i) bytes[i] = 0x5A;
    dir.Write("late", bytes);
    int before = OpenDescriptorCount();
    for (const std::string& p : {bad, late, dir.File("missing"), dir.path().string()}) {
        EXPECT_FALSE(OpenRecordingReader(0, p, 0)) << p;
        EXPECT_FALSE(OpenRecordingReader(1, p, 0)) << p;
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
    {
        auto r = OpenRecordingReader(0, good, 0);
        EXPECT_EQ(OpenDescriptorCount(), before + 1);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}
