#include "catalogue/recording_name.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

std::optional<RecordingName> All(std::string_view name) { return ClassifyRecordingName(name, ScanFilter{}); }

}  // namespace

TEST(RecordingName, FixedLayoutOfBothFamilies) {
    auto r = All("H264_20150812_123000_N0_01.264");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->family, 1);
    EXPECT_EQ(r->multiPart, 0);
    EXPECT_EQ(r->tag, "01");
    EXPECT_EQ(r->year, 2015);
    EXPECT_EQ(r->month, 8);
    EXPECT_EQ(r->day, 12);
    EXPECT_EQ(r->hour, 12);
    EXPECT_EQ(r->minute, 30);
    EXPECT_EQ(r->second, 0);

    auto h = All("hay_20160920_190909_A0_03.H264");  // letters compare without case
    ASSERT_TRUE(h);
    EXPECT_EQ(h->family, 0);
    EXPECT_EQ(h->multiPart, 1);
    EXPECT_EQ(h->tag, "03");
    EXPECT_EQ(h->date, "20160920");
    EXPECT_EQ(h->time, "190909");

    auto lower = All("h264_20150812_123000_n0_01.264");  // the single-file marker too
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->multiPart, 0);

    EXPECT_TRUE(All("H265_20150812_123000_A1_02.265"));
    EXPECT_TRUE(All("VVS_20150812_123000_N0_01.h265"));
    EXPECT_FALSE(All("X264_20150812_123000_N0_01.264"));    // prefix
    EXPECT_FALSE(All("H264_20150812_123000_N0_01.mp4"));    // suffix
    EXPECT_FALSE(All("H264_20150812_123000_N0_1.264"));     // 29 characters
    EXPECT_FALSE(All("H264_20150812_123000_N0_001.264"));   // 31 characters
    EXPECT_FALSE(All("H264_20150812-123000-N0-01x.264"));   // 30 characters but fewer than five fields
}

TEST(RecordingName, DatesOfAnUnsetClock) {
    EXPECT_FALSE(All("H264_00000000_123000_N0_01.264"));
    EXPECT_FALSE(All("H264_21000001_123000_N0_01.264"));
    EXPECT_TRUE(All("H264_21000000_123000_N0_01.264"));
    EXPECT_TRUE(All("HAY_00000000_123000_N0_01.h264"));   // family 0 takes any date
    EXPECT_TRUE(All("VVS_21000001_123000_N0_01.h264"));
}

TEST(RecordingName, SplitLayoutOfCamTacNames) {
    auto r = All("cam_bus7_front_x_20160920190909_extra.tac");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->family, 1);
    EXPECT_EQ(r->multiPart, 0);
    EXPECT_EQ(r->date, "20160920");
    EXPECT_EQ(r->hour, 19);
    EXPECT_EQ(r->second, 9);
    EXPECT_TRUE(All("CAM_1_2_3_20160920190909.TAC"));       // any length
    EXPECT_FALSE(All("cam_1_2_3.tac"));                       // four fields
    EXPECT_FALSE(All("cam_1_2_3_00000000190909.tac"));        // unset clock
    EXPECT_FALSE(All("cam_1_2_3_201609201.tac"));             // time cut short
    EXPECT_FALSE(All("cam_1_2_3_20160920190909_N0_01.265x")); // suffix
}

TEST(RecordingName, TimeFilterIncludesBothEnds) {
    ScanFilter f;
    f.allTimes = 0;
    f.year = 2015;
    f.month = 8;
    f.day = 12;
    f.startHour = 12;
    f.startMinute = 0;
    f.startSecond = 0;
    f.stopHour = 12;
    f.stopMinute = 30;
    f.stopSecond = 0;
    EXPECT_TRUE(ClassifyRecordingName("H264_20150812_123000_N0_01.264", f));
    EXPECT_FALSE(ClassifyRecordingName("H264_20150812_123001_N0_01.264", f));
    EXPECT_TRUE(ClassifyRecordingName("H264_20150812_120000_N0_01.264", f));
    EXPECT_FALSE(ClassifyRecordingName("H264_20150812_115959_N0_01.264", f));
    EXPECT_FALSE(ClassifyRecordingName("H264_20150813_121000_N0_01.264", f));
}
