#include "readers/gps_fix.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/comma_locale.h"

using namespace corvane;

TEST(GpsFix, DecodesTheStoredTextColumns) {
    // date, time, status, latitude, hemisphere, longitude, hemisphere, speed, course
    uint8_t s[60] = {};
    std::memcpy(s + 0, "200916", 6);
    std::memcpy(s + 7, "190909", 6);
    s[17] = 'A';
    std::memcpy(s + 18, "2232.5000", 9);
    s[28] = 'N';
    std::memcpy(s + 29, "11403.2000", 10);
    s[40] = 'E';
    std::memcpy(s + 41, "12.5", 4);
    std::memcpy(s + 47, "90.0", 4);
    GpsFix f = GpsFix::Decode(s, sizeof s);
    EXPECT_EQ(f.status, 'A');
    EXPECT_STREQ(f.latitude, "2232.5000");
    EXPECT_EQ(f.latHemisphere, 'N');
    EXPECT_STREQ(f.longitude, "11403.2000");
    EXPECT_EQ(f.lonHemisphere, 'E');
    EXPECT_FLOAT_EQ(f.speed, 12.5f);
    EXPECT_FLOAT_EQ(f.course, 90.0f);
    EXPECT_EQ(f.year, 2016);
    EXPECT_EQ(f.month, 9);
    EXPECT_EQ(f.day, 20);
    EXPECT_EQ(f.hour, 19);
    EXPECT_EQ(f.minute, 9);
    EXPECT_EQ(f.second, 9);

    uint8_t bytes[kGpsFixSize];
    f.Serialize(bytes);
    EXPECT_EQ(bytes[39], 0);
    EXPECT_EQ(bytes[32] | (bytes[33] << 8), 2016);
    GpsFix back = GpsFix::Parse(bytes);
    EXPECT_STREQ(back.longitude, "11403.2000");
    EXPECT_FLOAT_EQ(back.speed, 12.5f);
    EXPECT_EQ(back.second, 9);

    // The writers' text form decodes to the same fix.
    std::string text = FormatStoredGpsText(f);
    GpsFix again = GpsFix::Decode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    uint8_t againBytes[kGpsFixSize];
    again.Serialize(againBytes);
    EXPECT_EQ(std::memcmp(againBytes, bytes, kGpsFixSize), 0);
}

TEST(GpsFix, SpeedAndCourseTextsKeepTheirPointInACommaDecimalLocale) {
    test::CommaDecimalLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
    uint8_t s[53] = {};
    std::memcpy(s + 41, "36.5", 4);
    std::memcpy(s + 47, "270.5", 5);
    GpsFix f = GpsFix::Decode(s, sizeof s);
    EXPECT_FLOAT_EQ(f.speed, 36.5f);
    EXPECT_FLOAT_EQ(f.course, 270.5f);
    std::string text = FormatStoredGpsText(f);
    EXPECT_EQ(text.substr(41, 4), "36.5");
    EXPECT_EQ(text.substr(47, 5), "270.5");
}

TEST(GpsFix, ShortOrUnterminatedFieldsStayInBounds) {
    uint8_t junk[53];
    std::memset(junk, '9', sizeof junk);  // no terminators, digits everywhere
    GpsFix f = GpsFix::Decode(junk, sizeof junk);
    EXPECT_EQ(std::strlen(f.latitude), 9u);
    EXPECT_EQ(std::strlen(f.longitude), 10u);
    EXPECT_EQ(f.year, 2099);
    GpsFix empty = GpsFix::Decode(junk, 0);  // nothing stored: all zero but the year base
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.latitude[0], 0);
    EXPECT_EQ(empty.year, 2000);
}
