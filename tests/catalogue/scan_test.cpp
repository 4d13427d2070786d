#include "catalogue/scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "common/temp_dir.h"

using namespace corvane;
using namespace corvane::test;

namespace {

std::string Bytes(size_t n) { return std::string(n, 'x'); }

DayList Scan(const std::string& root, ScanFilter f = {}) {
    f.root = root;
    DayList days;
    RecordingScan scan(f, days, nullptr);
    EXPECT_TRUE(scan.Run());
    return days;
}

}  // namespace

TEST(Scan, GroupsFilesIntoDaysAndRecordings) {
    TempDir dir;
    dir.Write("a/H264_20150812_123000_N0_01.264", Bytes(200));
    dir.Write("a/b/H264_20150812_140000_N0_01.264", Bytes(200));
    dir.Write("c/H264_20150813_080000_N0_01.264", Bytes(200));
    // Parts listed in any order end up sorted.
    dir.Write("z/H264_20150812_150000_A0_02.264", Bytes(200));
    dir.Write("y/H264_20150812_150000_A0_02.264", Bytes(200));
    dir.Write("x/H264_20150812_150000_A0_02.264", Bytes(200));
    dir.Write("small/H264_20150812_160000_N0_01.264", Bytes(100));  // too small
    dir.Write("ok/H264_20150812_170000_N0_01.264", Bytes(101));
    dir.Write("other/readme.txt", Bytes(500));
    DayList days = Scan(dir.path().string());
    SortDays(days);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0]->GetDateText(), "2015-08-12");
    EXPECT_EQ(days[1]->GetDateText(), "2015-08-13");
    CDayVideo& d = *days[0];
    SortRecordings(d);
    ASSERT_EQ(d.recordings.size(), 4u);
    EXPECT_EQ(d.recordings[0]->GetStartText(), "12:30:00");
    EXPECT_EQ(d.recordings[0]->filePath, dir.File("a/H264_20150812_123000_N0_01.264"));
    EXPECT_EQ(d.recordings[0]->day, &d);
    EXPECT_EQ(d.recordings[0]->startTime, d.recordings[0]->endTime);
    const CDiskVideo& parts = *d.recordings[2];
    EXPECT_EQ(parts.multiPart, 1);
    EXPECT_EQ(parts.GetChannelCount(), 3);
    EXPECT_EQ(parts.partPaths, (std::vector<std::string>{dir.File("x/H264_20150812_150000_A0_02.264"),
                                                         dir.File("y/H264_20150812_150000_A0_02.264"),
                                                         dir.File("z/H264_20150812_150000_A0_02.264")}));
    EXPECT_EQ(d.recordings[3]->GetStartText(), "17:00:00");
    EXPECT_EQ(d.GetChannelCount(), 3);
}

TEST(Scan, PostsEachFolderAndStopsWhenAsked) {
    TempDir dir;
    for (int i = 0; i < 20; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "f%d/H264_20150812_12%02d00_N0_01.264", i, i);
        dir.Write(name, Bytes(200));
    }
    ScanFilter f;
    f.root = dir.path().string();
    QueueMessageSink sink;
    DayList days;
    RecordingScan scan(f, days, &sink);
    EXPECT_TRUE(scan.Run());
    size_t folders = 0;
    bool done = false;
    while (auto m = sink.Take()) {
        if (m->id == kMsgScanFolder) {
            ++folders;
            delete reinterpret_cast<std::string*>(m->wParam);
        } else {
            done = m->id == kMsgScanDone;
        }
    }
    EXPECT_EQ(folders, 21u);
    EXPECT_TRUE(done);  // the last message

    DayList stopped;
    RecordingScan second(f, stopped, nullptr);
    second.stop = 1;
    EXPECT_FALSE(second.Run());
    EXPECT_TRUE(stopped.empty());
}

TEST(Scan, SurvivesLinkLoopsUnreadableAndDeepFolders) {
    TempDir dir;
    dir.Write("a/H264_20150812_123000_N0_01.264", Bytes(200));
    ASSERT_EQ(symlink(dir.path().c_str(), dir.File("a/loop").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent", dir.File("a/dangling").c_str()), 0);
    std::string deep = "d";
    for (int i = 0; i < 300; ++i) deep += "/d";
    dir.Write(deep + "/H264_20150812_140000_N0_01.264", Bytes(200));
    dir.Write(std::string("bad\xFF\xFEname/H264_20150812_150000_N0_01.264"), Bytes(200));
    dir.Write("locked/H264_20150812_160000_N0_01.264", Bytes(200));
    chmod(dir.File("locked").c_str(), 0);
    DayList days = Scan(dir.path().string());
    chmod(dir.File("locked").c_str(), 0755);
    ASSERT_EQ(days.size(), 1u);
    // Root can read a folder without permissions; others cannot.
    EXPECT_EQ(days[0]->recordings.size(), geteuid() == 0 ? 4u : 3u);
}

TEST(Scan, LaterSingleFileReplacesEarlierAndFilterApplies) {
    TempDir dir;
    dir.Write("1/H264_20150812_123000_N0_01.264", Bytes(200));
    dir.Write("1/H265_20150812_123000_N0_02.265", Bytes(200));
    DayList days = Scan(dir.path().string());
    ASSERT_EQ(days.size(), 1u);
    ASSERT_EQ(days[0]->recordings.size(), 1u);
    EXPECT_FALSE(days[0]->recordings[0]->filePath.empty());

    ScanFilter f;
    f.allTimes = 0;
    f.year = 2015;
    f.month = 8;
    f.day = 13;
    EXPECT_TRUE(Scan(dir.path().string(), f).empty());
    EXPECT_TRUE(Scan(dir.File("missing")).empty());
}
