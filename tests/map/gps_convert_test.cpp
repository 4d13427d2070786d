#include "map/gps_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/comma_locale.h"

using namespace corvane;

namespace {

GpsFix FixWith(const char* lat, char latHemi, const char* lon, char lonHemi) {
    GpsFix f;
    f.status = 'A';
    std::memcpy(f.latitude, lat, std::min(std::strlen(lat), sizeof f.latitude - 1));
    f.latHemisphere = latHemi;
    std::memcpy(f.longitude, lon, std::min(std::strlen(lon), sizeof f.longitude - 1));
    f.lonHemisphere = lonHemi;
    return f;
}

}  // namespace

TEST(DegreesAndMinutes, WholeDegreesPlusMinutesOverSixty) {
    EXPECT_NEAR(DegreesFromDegMin(2232.5), 22.541666666666667, 1e-12);
    EXPECT_NEAR(DegreesFromDegMin(11403.2), 114.05333333333333, 1e-12);
    EXPECT_NEAR(DegreesFromDegMin(59.99), 0.99983333333333333, 1e-12);  // under one degree
    EXPECT_EQ(DegreesFromDegMin(0), 0);
    EXPECT_NEAR(DegreesFromDegMin(18000.0), 180.0, 1e-12);
}

TEST(DegreesAndMinutes, HemisphereByteOneOrLetterNegates) {
    LonLat north = PositionFromDegMin(2232.5, 0, 11403.2, 0);
    EXPECT_NEAR(north.lat, 22.541666666666667, 1e-12);
    EXPECT_NEAR(north.lon, 114.05333333333333, 1e-12);
    LonLat south = PositionFromDegMin(2232.5, 1, 11403.2, 1);
    EXPECT_NEAR(south.lat, -22.541666666666667, 1e-12);
    EXPECT_NEAR(south.lon, -114.05333333333333, 1e-12);
    // Receivers write the hemisphere as a letter.
    LonLat letters = PositionFromDegMin(2232.5, 'S', 11403.2, 'W');
    EXPECT_LT(letters.lat, 0);
    EXPECT_LT(letters.lon, 0);
    LonLat plain = PositionFromDegMin(2232.5, 'N', 11403.2, 'E');
    EXPECT_GT(plain.lat, 0);
    EXPECT_GT(plain.lon, 0);
    // The letters belong to their own axis: 'W' on a latitude means nothing.
    EXPECT_GT(PositionFromDegMin(2232.5, 'W', 11403.2, 'S').lat, 0);
    EXPECT_GT(PositionFromDegMin(2232.5, 'W', 11403.2, 'S').lon, 0);
}

// Reference values: the same published formulas evaluated independently with
// 40-digit arithmetic (mpmath), rounded to 17 digits.
struct ReferencePoint {
    const char* where;
    double lon, lat;
    double offsetLon, offsetLat;
    double secondLon, secondLat;
};

TEST(MapCoordinates, MatchIndependentComputationAtKnownPoints) {
    const ReferencePoint points[] = {
        {"Shenzhen", 114.05333333333333, 22.541666666666668, 114.05844146873173, 22.538940935956096,
         114.06499135048656, 22.544596439238425},
        {"Beijing", 116.3975, 39.9087, 116.40374357265178, 39.910103499344752, 116.41011658647341,
         39.916442749630756},
        {"box centre", 105, 35, 105.00328624145706, 34.99909863223526, 105.00966682831948, 35.005403668456961},
        {"west edge", 72.004, 40, 72.008238562198214, 40.000239587877966, 72.014644584389308, 40.006444172576843},
        {"south", 110.5, 0.9, 110.50362248095435, 0.90073366981844986, 110.51011994457829, 0.90695057483123871},
        {"north-east", 135.2, 55.8, 135.21020908178896, 55.802581082175338, 135.21670974001415, 55.80858655073918},
    };
    for (const ReferencePoint& p : points) {
        SCOPED_TRACE(p.where);
        LonLat type1 = MapCoordinates({p.lon, p.lat}, 1);
        EXPECT_NEAR(type1.lon, p.offsetLon, 1e-9);
        EXPECT_NEAR(type1.lat, p.offsetLat, 1e-9);
        LonLat type0 = MapCoordinates({p.lon, p.lat}, 0);
        EXPECT_NEAR(type0.lon, p.secondLon, 1e-9);
        EXPECT_NEAR(type0.lat, p.secondLat, 1e-9);
        // Any type but 0 is the first page's system.
        LonLat type7 = MapCoordinates({p.lon, p.lat}, 7);
        EXPECT_EQ(type7.lon, type1.lon);
        EXPECT_EQ(type7.lat, type1.lat);
    }
}

TEST(MapCoordinates, OutsideTheBoxOnlyTheSecondConversionApplies) {
    LonLat europe{10, 50};
    LonLat type1 = MapCoordinates(europe, 1);
    EXPECT_EQ(type1.lon, 10);
    EXPECT_EQ(type1.lat, 50);
    LonLat type0 = MapCoordinates(europe, 0);
    EXPECT_NEAR(type0.lon, 10.006571603132171, 1e-9);
    EXPECT_NEAR(type0.lat, 50.005968015793333, 1e-9);
    // The box edges themselves are inside.
    const LonLat inside[] = {{72.004, 30}, {137.8347, 30}, {100, 0.8293}, {100, 55.8271}};
    const LonLat outside[] = {{72.0039, 30}, {137.8348, 30}, {100, 0.8292}, {100, 55.8272}, {-114, 22}, {114, -22}};
    for (LonLat p : inside) {
        LonLat q = WgsToOffset(p);
        EXPECT_FALSE(q.lon == p.lon && q.lat == p.lat) << p.lon << "," << p.lat;
    }
    for (LonLat p : outside) {
        LonLat q = WgsToOffset(p);
        EXPECT_TRUE(q.lon == p.lon && q.lat == p.lat) << p.lon << "," << p.lat;
    }
}

TEST(WgsPositionOfFix, PlainNumbersOnTheGlobeOnly) {
    auto p = WgsPositionOfFix(FixWith("2232.5000", 'S', "11403.2000", 'E'));
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->lat, -22.541666666666667, 1e-12);
    EXPECT_NEAR(p->lon, 114.05333333333333, 1e-12);
    auto west = WgsPositionOfFix(FixWith("5130.0000", 'N', "00007.5000", 'W'));
    ASSERT_TRUE(west);
    EXPECT_NEAR(west->lat, 51.5, 1e-12);
    EXPECT_NEAR(west->lon, -0.125, 1e-12);

    EXPECT_FALSE(WgsPositionOfFix(FixWith("", 'N', "11403.2000", 'E')));
    EXPECT_FALSE(WgsPositionOfFix(FixWith("2232.5000", 'N', "", 'E')));
    EXPECT_FALSE(WgsPositionOfFix(FixWith("22a2.5000", 'N', "11403.2000", 'E')));
    EXPECT_FALSE(WgsPositionOfFix(FixWith("-2232.500", 'N', "11403.2000", 'E')));
    EXPECT_FALSE(WgsPositionOfFix(FixWith("22.32.500", 'N', "11403.2000", 'E')));
    EXPECT_FALSE(WgsPositionOfFix(FixWith(".", 'N', "11403.2000", 'E')));
    EXPECT_FALSE(WgsPositionOfFix(FixWith("2260.0000", 'N', "11403.2000", 'E')));  // 60 minutes
    EXPECT_FALSE(WgsPositionOfFix(FixWith("9100.0000", 'N', "11403.2000", 'E')));
    EXPECT_FALSE(WgsPositionOfFix(FixWith("2232.5000", 'N', "18100.0000", 'E')));
}

TEST(WgsPositionOfFix, ReadsTheSameInACommaDecimalLocale) {
    test::CommaDecimalLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
    auto p = WgsPositionOfFix(FixWith("2232.5000", 'N', "11403.2000", 'E'));
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->lat, 22.541666666666667, 1e-12);
    EXPECT_NEAR(p->lon, 114.05333333333333, 1e-12);
}
