#include "map/gps_convert.h"

#include <cmath>
#include <string>

#include "platform/number_text.h"

namespace corvane {
namespace {

constexpr double kPi = 3.141592653589793;
// Semi-major axis and squared eccentricity of the ellipsoid the offset system
// is defined on, and a * (1 - e^2).
constexpr double kAxis = 6378245;
constexpr double kEccentricity2 = 0.006693421622965943;
constexpr double kMeridianAxis = 6335552.717000426;
constexpr double kSecondK = 52.35987755982988;  // pi * 3000 / 180

bool InsideOffsetBox(LonLat p) {
    return !(p.lon < 72.004 || p.lon > 137.8347 || p.lat < 0.8293 || p.lat > 55.8271);
}

double ShiftLatitude(double x, double y) {
    double d = -100 + 2 * x + 3 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
    d += (20 * std::sin(6 * kPi * x) + 20 * std::sin(2 * kPi * x)) * 2 / 3;
    d += (20 * std::sin(kPi * y) + 40 * std::sin(kPi * y / 3)) * 2 / 3;
    d += (160 * std::sin(kPi * y / 12) + 320 * std::sin(kPi * y / 30)) * 2 / 3;
    return d;
}

double ShiftLongitude(double x, double y) {
    double d = 300 + x + 2 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
    d += (20 * std::sin(6 * kPi * x) + 20 * std::sin(2 * kPi * x)) * 2 / 3;
    d += (20 * std::sin(kPi * x) + 40 * std::sin(kPi * x / 3)) * 2 / 3;
    d += (150 * std::sin(kPi * x / 12) + 300 * std::sin(kPi * x / 30)) * 2 / 3;
    return d;
}

// A packed degrees-and-minutes text: digits with at most one '.', nothing else.
std::optional<double> ParsePlainNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int dots = 0, digits = 0;
    for (char c : text) {
        if (c == '.') ++dots;
        else if (c >= '0' && c <= '9') ++digits;
        else return std::nullopt;
    }
    if (dots > 1 || digits == 0) return std::nullopt;
    return LeadingDouble(text);
}

}  // namespace

double DegreesFromDegMin(double packed) {
    double d = std::trunc(packed / 100);
    return d + (packed - 100 * d) / 60;
}

bool IsSouth(char hemisphere) { return hemisphere == 1 || hemisphere == 'S' || hemisphere == 's'; }
bool IsWest(char hemisphere) { return hemisphere == 1 || hemisphere == 'W' || hemisphere == 'w'; }

LonLat PositionFromDegMin(double latitude, char latHemisphere, double longitude, char lonHemisphere) {
    LonLat p;
    p.lat = DegreesFromDegMin(latitude);
    p.lon = DegreesFromDegMin(longitude);
    if (IsSouth(latHemisphere)) p.lat = -p.lat;
    if (IsWest(lonHemisphere)) p.lon = -p.lon;
    return p;
}

LonLat WgsToOffset(LonLat wgs) {
    if (!InsideOffsetBox(wgs)) return wgs;
    double x = wgs.lon - 105, y = wgs.lat - 35;
    double dLat = ShiftLatitude(x, y);
    double dLon = ShiftLongitude(x, y);
    double r = wgs.lat / 180 * kPi;
    double sr = std::sin(r);
    double m = 1 - kEccentricity2 * sr * sr;
    double s = std::sqrt(m);
    LonLat out;
    out.lat = wgs.lat + dLat * 180 / ((kMeridianAxis / (m * s)) * kPi);
    out.lon = wgs.lon + dLon * 180 / ((kAxis / s) * std::cos(r) * kPi);
    return out;
}

LonLat OffsetToSecond(LonLat p) {
    double z = std::sqrt(p.lon * p.lon + p.lat * p.lat) + 0.00002 * std::sin(p.lat * kSecondK);
    double theta = std::atan2(p.lat, p.lon) + 0.000003 * std::cos(p.lon * kSecondK);
    return LonLat{z * std::cos(theta) + 0.0065, z * std::sin(theta) + 0.006};
}

LonLat MapCoordinates(LonLat wgs, int mapType) {
    LonLat p = WgsToOffset(wgs);
    return mapType == 0 ? OffsetToSecond(p) : p;
}

std::optional<LonLat> WgsPositionOfFix(const GpsFix& fix) {
    std::optional<double> lat = ParsePlainNumber(fix.LatitudeText());
    std::optional<double> lon = ParsePlainNumber(fix.LongitudeText());
    if (!lat || !lon) return std::nullopt;
    // Whole minutes of 60 or more are not minutes.
    if (std::fmod(*lat, 100) >= 60 || std::fmod(*lon, 100) >= 60) return std::nullopt;
    LonLat p = PositionFromDegMin(*lat, fix.latHemisphere, *lon, fix.lonHemisphere);
    if (std::fabs(p.lat) > 90 || std::fabs(p.lon) > 180) return std::nullopt;
    return p;
}

}  // namespace corvane
