#include "export/gps_track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <pugixml.hpp>

#include "common/temp_dir.h"
#include "export_test_data.h"
#include "readers/probe.h"

using namespace corvane;
using namespace corvane::test;

namespace {

GpsFix Fix(const char* lat, char latHemi, const char* lon, char lonHemi) {
    GpsFix f = rec::SampleFix(0);
    std::memset(f.latitude, 0, sizeof f.latitude);
    std::memset(f.longitude, 0, sizeof f.longitude);
    std::memcpy(f.latitude, lat, std::min(std::strlen(lat), sizeof f.latitude - 1));
    std::memcpy(f.longitude, lon, std::min(std::strlen(lon), sizeof f.longitude - 1));
    f.latHemisphere = latHemi;
    f.lonHemisphere = lonHemi;
    return f;
}

}  // namespace

TEST(GpsTrack, DegreesAndMinutesBecomeSignedDecimalDegrees) {
    EXPECT_NEAR(*DegreesFromDegreesMinutes("2232.5000", 'N', 90), 22.5416666667, 1e-9);
    EXPECT_NEAR(*DegreesFromDegreesMinutes("2232.5000", 'S', 90), -22.5416666667, 1e-9);
    EXPECT_NEAR(*DegreesFromDegreesMinutes("2232.5000", 1, 90), -22.5416666667, 1e-9);
    EXPECT_NEAR(*DegreesFromDegreesMinutes("11403.2000", 'W', 180), -114.0533333333, 1e-9);
    EXPECT_NEAR(*DegreesFromDegreesMinutes("00030.0000", 'E', 180), 0.5, 1e-12);
    for (const char* bad : {"", "N/A", "-2232.5", "2260.0000", "9100.0000", "2232.5x", "nan", "1e999"}) {
        EXPECT_FALSE(DegreesFromDegreesMinutes(bad, 'N', 90)) << bad;
    }
}

TEST(GpsTrack, OnlyValidFixesWithPositionAndTimeJoinTheTrack) {
    GpsPoint good = MakeGpsPoint(Fix("2232.5000", 'N', "11403.2000", 'E'), 1000);
    EXPECT_TRUE(good.OnTrack());
    EXPECT_EQ(*good.utcTime, "2016-09-20T19:09:09Z");

    GpsFix voidFix = good.fix;
    voidFix.status = 'V';
    GpsFix badDate = good.fix;
    badDate.month = 2;
    badDate.day = 30;
    GpsFix badTime = good.fix;
    badTime.minute = 60;
    for (const GpsFix& f : {voidFix, badDate, badTime, Fix("", 0, "", 0)}) EXPECT_FALSE(MakeGpsPoint(f, 0).OnTrack());

    std::string csv = FormatCsv({good, MakeGpsPoint(voidFix, 2000)});
    EXPECT_EQ(csv,
              "timestamp,time,status,latitude,longitude,speed,course\n"
              "1000,2016-09-20T19:09:09Z,A,22.541667,114.053333,36.5,90.0\n"
              "2000,2016-09-20T19:09:09Z,V,22.541667,114.053333,36.5,90.0\n");
}

TEST(GpsTrack, GpxIsWellFormedWhateverTheNameAndEveryPointHasATime) {
    std::vector<GpsPoint> points;
    for (uint32_t s = 0; s < 5; ++s) points.push_back(MakeGpsPoint(rec::SampleFix(s), 1000 + s * 1000));
    GpsFix noFix = rec::SampleFix(9);
    noFix.status = 0;
    points.push_back(MakeGpsPoint(noFix, 9000));
    // A recorder name off a damaged card: markup, a control byte, broken UTF-8.
    std::string name = "BUS <7> & \"A\"\x01\xff\xc3";
    std::string gpx = FormatGpx(points, name);

    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_string(gpx.c_str());
    ASSERT_TRUE(parsed) << parsed.description() << "\n" << gpx;
    pugi::xml_node root = doc.child("gpx");
    EXPECT_STREQ(root.attribute("version").value(), "1.1");
    EXPECT_STREQ(root.attribute("xmlns").value(), "http://www.topografix.com/GPX/1/1");
    EXPECT_EQ(std::string(root.child("trk").child("name").text().get()), "BUS <7> & \"A\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    int n = 0;
    for (pugi::xml_node p : root.child("trk").child("trkseg").children("trkpt")) {
        EXPECT_NEAR(p.attribute("lat").as_double(), 22.541667, 1e-6);
        EXPECT_GT(p.attribute("lon").as_double(), 114.05);
        EXPECT_FALSE(std::string(p.child("time").text().get()).empty());
        ++n;
    }
    EXPECT_EQ(n, 5);
}

TEST(GpsTrack, ReadsTheFixesOfARecording) {
    TempDir dir;
    ClipOptions o;
    o.seconds = 3;
    o.gps = true;
    WriteClip(dir.File("g.264"), o);
    auto reader = OpenRecordingReader(0, dir.File("g.264"), 0);
    ASSERT_TRUE(reader);
    auto points = ReadGpsTrack(*reader);
    ASSERT_EQ(points.size(), 3u);
    const char* times[] = {"2016-09-20T19:09:09Z", "2016-09-20T19:09:10Z", "2016-09-20T19:09:11Z"};
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(points[i].timestamp, 5000 + i * 1000);
        EXPECT_TRUE(points[i].OnTrack());
        EXPECT_EQ(points[i].utcTime.value_or(""), times[i]);
    }
}
