#include "route.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/number_text.h"

namespace corvane::demo {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kEarthRadius = 6371000.0;

struct Point {
    double lat, lon;
};

// Houhai to Luohu: Shennan Boulevard through Nanshan and Futian, then down to
// the railway station.
const Point kRoute[] = {
    {22.52100, 113.94380}, {22.53010, 113.94360}, {22.53920, 113.94420}, {22.54000, 113.95600},
    {22.53850, 113.97100}, {22.53780, 113.98700}, {22.53800, 114.00500}, {22.53830, 114.02300},
    {22.54000, 114.04000}, {22.54100, 114.05900}, {22.54200, 114.07300}, {22.54250, 114.08600},
    {22.54180, 114.10000}, {22.54100, 114.11300}, {22.53600, 114.11650}, {22.53200, 114.11800},
};
constexpr size_t kRoutePoints = sizeof kRoute / sizeof kRoute[0];

double Distance(Point a, Point b) {
    const double dLat = (b.lat - a.lat) * kPi / 180, dLon = (b.lon - a.lon) * kPi / 180;
    const double x = dLon * std::cos((a.lat + b.lat) / 2 * kPi / 180);
    return kEarthRadius * std::sqrt(x * x + dLat * dLat);
}

double Bearing(Point a, Point b) {
    const double dLat = b.lat - a.lat;
    const double dLon = (b.lon - a.lon) * std::cos((a.lat + b.lat) / 2 * kPi / 180);
    const double deg = std::atan2(dLon, dLat) * 180 / kPi;
    return deg < 0 ? deg + 360 : deg;
}

// Speed in km/h: a 100-second cycle of driving and a red light.
double SpeedAt(int second) {
    const int inCycle = second % 100;
    if (inCycle >= 85) return 0;
    const double ramp = std::min(1.0, std::min(inCycle, 85 - inCycle) / 8.0);
    return ramp * (42.0 + 12.0 * std::sin(second / 23.0) + 5.0 * std::sin(second / 7.0));
}

Point Point_(size_t i, bool reverse) { return kRoute[reverse ? kRoutePoints - 1 - i : i]; }

// Minutes form of the receiver: ddmm.mmmm or dddmm.mmmm.
void DegreesMinutes(double degrees, int degreeDigits, char* out, size_t size) {
    const int whole = static_cast<int>(degrees);
    std::string minutes = FormatFixed((degrees - whole) * 60.0, 4);  // "%07.4f" in every locale
    if (minutes.size() < 7) minutes.insert(0, 7 - minutes.size(), '0');
    std::snprintf(out, size, "%0*d%s", degreeDigits, whole, minutes.c_str());
}

}  // namespace

Drive::Drive(bool reverse) : reverse_(reverse) {}

Drive::State Drive::StateAt(int second) const {
    double travelled = 0;
    for (int s = 0; s < second; ++s) travelled += SpeedAt(s) / 3.6;
    const double speed = SpeedAt(second);
    for (size_t i = 0; i + 1 < kRoutePoints; ++i) {
        const Point a = Point_(i, reverse_), b = Point_(i + 1, reverse_);
        const double leg = Distance(a, b);
        if (travelled <= leg || i + 2 == kRoutePoints) {
            const double f = std::min(1.0, travelled / leg);
            const bool parked = travelled > leg;
            return {a.lat + (b.lat - a.lat) * f, a.lon + (b.lon - a.lon) * f, parked ? 0.0 : speed, Bearing(a, b)};
        }
        travelled -= leg;
    }
    return {kRoute[0].lat, kRoute[0].lon, 0, 0};
}

GpsFix Drive::FixAt(int second, const ClockTime& local) const {
    const State st = StateAt(second);
    GpsFix f;
    f.status = 'A';
    char text[32];
    DegreesMinutes(st.lat, 2, text, sizeof text);
    std::memcpy(f.latitude, text, std::min(sizeof f.latitude - 1, std::strlen(text)));
    DegreesMinutes(st.lon, 3, text, sizeof text);
    std::memcpy(f.longitude, text, std::min(sizeof f.longitude - 1, std::strlen(text)));
    f.latHemisphere = 'N';
    f.lonHemisphere = 'E';
    f.speed = static_cast<float>(std::round(st.speedKmh * 10) / 10);
    f.course = static_cast<float>(std::round(st.course * 10) / 10);
    // UTC: eight hours behind China's local time (the demo drives in daytime
    // hours after 08:00, so the date stays the same).
    f.year = static_cast<uint16_t>(local.year);
    f.month = static_cast<uint8_t>(local.month);
    f.day = static_cast<uint8_t>(local.day);
    f.hour = static_cast<uint8_t>((local.hour + 16) % 24);
    f.minute = static_cast<uint8_t>(local.minute);
    f.second = static_cast<uint8_t>(local.second);
    return f;
}

}  // namespace corvane::demo
