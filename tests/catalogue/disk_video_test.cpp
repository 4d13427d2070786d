#include "catalogue/disk_video.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "catalogue/day_video.h"
#include "catalogue/local_time.h"
#include "common/temp_dir.h"
#include "recwriter.h"

using namespace corvane;
using namespace corvane::test;

namespace {

std::string WriteV700(const TempDir& dir, const std::string& name, uint32_t seconds) {
    rec::FileLayout layout;
    layout.name = "BUS-7";
    rec::StreamOptions o;
    o.seconds = seconds;
    o.fps = 5;
    o.keyBytes = o.videoBytes = 50;
    std::string p = dir.File(name);
    EXPECT_TRUE(rec::WriteRecording(p, layout, rec::MakeStream(o)));
    return p;
}

std::unique_ptr<CDiskVideo> Recording(int64_t start, std::string path) {
    auto r = std::make_unique<CDiskVideo>();
    r->startTime = r->endTime = start;
    r->filePath = std::move(path);
    r->family = 1;
    return r;
}

}  // namespace

TEST(DiskVideo, MeasureAndOpenASingleChannelFile) {
    TempDir dir;
    int64_t start = MakeLocalTime({2015, 8, 12, 12, 30, 0});
    auto r = Recording(start, WriteV700(dir, "H264_20150812_123000_N0_01.264", 30));
    r->Measure();
    EXPECT_EQ(r->length, 30u);
    EXPECT_EQ(r->GetChannelCount(), 1);
    EXPECT_EQ(r->endTime, start + 30);
    EXPECT_EQ(r->GetEndText(), "12:30:30");
    EXPECT_EQ(r->GetLengthText(), "0:00:30");
    EXPECT_EQ(r->GetStartDateText(), "2015-08-12");
    EXPECT_EQ(r->StartSecondOfDay(), 45000);
    EXPECT_FALSE(r->IsAlarm());
    ASSERT_EQ(r->OpenReaders(), 1);
    EXPECT_EQ(r->readers.size(), 1u);
    EXPECT_EQ(r->description, "BUS-7");

    // Nothing readable: length stays 0 and the end stays at the start.
    auto broken = Recording(start, dir.Write("junk.264", std::string(500, 'j')));
    broken->Measure();
    EXPECT_EQ(broken->length, 0u);
    EXPECT_EQ(broken->endTime, start);
    EXPECT_EQ(broken->OpenReaders(), 0);
}

TEST(DiskVideo, PartsOpenOneReaderEachWithTheirIndexAsSelector) {
    TempDir dir;
    auto r = Recording(0, "");
    r->multiPart = 1;
    r->partPaths = {WriteV700(dir, "a", 5), dir.File("missing"), WriteV700(dir, "c", 5)};
    r->Measure();
    EXPECT_EQ(r->length, 5u);
    EXPECT_EQ(r->GetChannelCount(), 3);  // the part files count
    ASSERT_EQ(r->OpenReaders(), 1);
    ASSERT_EQ(r->readers.size(), 2u);
    EXPECT_EQ(r->readers[1]->ChannelSelector(), 2);
    r->ReleaseReaders();
    EXPECT_TRUE(r->readers.empty());
}

TEST(DiskVideo, AlarmRules) {
    CDiskVideo r;
    r.family = 1;
    r.multiPart = 1;
    for (auto [tag, alarm] : std::vector<std::pair<const char*, bool>>{
             {"01", true}, {"013", true}, {"013x", true}, {"014", false}, {"00", false}, {"10", false}, {"", false}}) {
        r.tag = tag;
        EXPECT_EQ(r.IsAlarm(), alarm) << tag;
    }
    r.multiPart = 0;
    EXPECT_FALSE(r.IsAlarm());
    r.events.push_back({1, 2, 3});
    EXPECT_TRUE(r.IsAlarm());
    EXPECT_EQ(r.GetTypeText(), "Alarm");
    r.family = 0;
    EXPECT_FALSE(r.IsAlarm());
    EXPECT_EQ(r.GetTypeText(), "Normal");
}

TEST(DiskVideo, RepairSaysRepairedUnchangedOrFailedAndTriesEveryPart) {
    TempDir dir;
    std::string p = WriteV700(dir, "r.264", 8);
    ASSERT_TRUE(rec::Patch(p, 56, std::vector<uint8_t>(64, 0)));
    auto r = Recording(0, p);
    EXPECT_EQ(r->Repair().outcome, RepairOutcome::kRepaired);
    r->Measure();
    EXPECT_EQ(r->length, 8u);
    EXPECT_EQ(r->Repair().outcome, RepairOutcome::kUnchanged);  // nothing left to repair

    auto missing = Recording(0, dir.File("none.264"));
    EXPECT_TRUE(missing->Repair().Failed());
    EXPECT_FALSE(missing->Repair().reason.empty());

    // A part that fails does not keep the later parts from being repaired.
    std::string second = WriteV700(dir, "second.264", 6);
    ASSERT_TRUE(rec::Patch(second, 56, std::vector<uint8_t>(48, 0)));
    CDiskVideo parts;
    parts.multiPart = 1;
    parts.partPaths = {dir.File("none.264"), second};
    EXPECT_TRUE(parts.Repair().Failed());
    EXPECT_EQ(MeasureRecordingFile(second).length, 6u);

    if (geteuid() != 0) {  // root writes through any permission bits
        chmod(p.c_str(), 0444);
        EXPECT_TRUE(Recording(0, p)->Repair().Failed());
    }
}

TEST(DayVideo, SeekDayToFindsTheRecordingThatHoldsTheMoment) {
    TempDir dir;
    CDayVideo day;
    day.date = CDayVideo::PackDate(2015, 8, 12);
    int64_t t1 = MakeLocalTime({2015, 8, 12, 10, 0, 0});
    int64_t t2 = MakeLocalTime({2015, 8, 12, 11, 0, 0});
    day.recordings.push_back(Recording(t1, WriteV700(dir, "one", 20)));
    day.recordings.push_back(Recording(t2, WriteV700(dir, "two", 20)));
    for (auto& r : day.recordings) r->Measure();
    day.OpenDayReaders();
    ASSERT_EQ(day.current, day.recordings[0].get());

    CDiskVideo* r = day.SeekDayTo(10 * 3600 + 5);  // inside the current one
    ASSERT_EQ(r, day.recordings[0].get());
    EXPECT_EQ(r->readers[0]->GetPosition(), 5u);

    r = day.SeekDayTo(11 * 3600 + 12);  // inside the other one
    ASSERT_EQ(r, day.recordings[1].get());
    EXPECT_EQ(day.currentIndex, 1);
    EXPECT_EQ(r->readers[0]->GetPosition(), 12u);

    EXPECT_EQ(day.SeekDayTo(10 * 3600 + 30 * 60), nullptr);  // a gap
    EXPECT_EQ(day.current, day.recordings[1].get());
    EXPECT_EQ(day.GetDateText(), "2015-08-12");
    day.ReleaseDayReaders();
    EXPECT_TRUE(day.recordings[0]->readers.empty());
}
