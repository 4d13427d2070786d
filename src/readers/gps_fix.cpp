#include "readers/gps_fix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/number_text.h"
#include "readers/byte_order.h"

namespace corvane {
namespace {

constexpr size_t kStoredBytes = 53;

// Decimal value of the digits at the start of [p, p+width), up to the first
// non-digit; at most 9 digits so the value fits.
uint32_t LeadingNumber(const uint8_t* p, size_t width) {
    uint32_t v = 0;
    for (size_t i = 0; i < width && i < 9 && p[i] >= '0' && p[i] <= '9'; ++i) v = v * 10 + (p[i] - '0');
    return v;
}

void CopyText(char* dst, size_t dstSize, const uint8_t* src, size_t srcWidth) {
    size_t n = 0;
    while (n + 1 < dstSize && n < srcWidth && src[n]) {
        dst[n] = static_cast<char>(src[n]);
        ++n;
    }
    dst[n] = 0;
}

float ParseFloat(const uint8_t* p, size_t width) {
    char text[16] = {};
    CopyText(text, sizeof text, p, width);
    return LeadingFloat(text);
}

}  // namespace

GpsFix GpsFix::Decode(const uint8_t* stored, size_t length) {
    uint8_t s[kStoredBytes] = {};
    std::memcpy(s, stored, length < kStoredBytes ? length : kStoredBytes);
    GpsFix fix;
    uint32_t date = LeadingNumber(s + 0, 7);
    uint32_t time = LeadingNumber(s + 7, 10);
    fix.status = static_cast<char>(s[17]);
    CopyText(fix.latitude, sizeof fix.latitude, s + 18, 10);
    fix.latHemisphere = static_cast<char>(s[28]);
    CopyText(fix.longitude, sizeof fix.longitude, s + 29, 11);
    fix.lonHemisphere = static_cast<char>(s[40]);
    fix.speed = ParseFloat(s + 41, 6);
    fix.course = ParseFloat(s + 47, 6);
    fix.year = static_cast<uint16_t>(date % 100 + 2000);
    fix.month = static_cast<uint8_t>(date / 100 % 100);
    fix.day = static_cast<uint8_t>(date / 10000);
    fix.hour = static_cast<uint8_t>(time / 10000);
    fix.minute = static_cast<uint8_t>(time / 100 % 100);
    fix.second = static_cast<uint8_t>(time % 100);
    return fix;
}

void GpsFix::Serialize(uint8_t* out) const {
    std::memset(out, 0, kGpsFixSize);
    out[0] = static_cast<uint8_t>(status);
    std::memcpy(out + 1, latitude, sizeof latitude);
    out[10] = 0;
    out[11] = static_cast<uint8_t>(latHemisphere);
    std::memcpy(out + 12, longitude, sizeof longitude);
    out[22] = 0;
    out[23] = static_cast<uint8_t>(lonHemisphere);
    uint32_t bits;
    std::memcpy(&bits, &speed, 4);
    PutU32(out + 24, bits);
    std::memcpy(&bits, &course, 4);
    PutU32(out + 28, bits);
    PutU16(out + 32, year);
    out[34] = month;
    out[35] = day;
    out[36] = hour;
    out[37] = minute;
    out[38] = second;
}

GpsFix GpsFix::Parse(const uint8_t* b) {
    GpsFix fix;
    fix.status = static_cast<char>(b[0]);
    std::memcpy(fix.latitude, b + 1, sizeof fix.latitude);
    fix.latitude[sizeof fix.latitude - 1] = 0;
    fix.latHemisphere = static_cast<char>(b[11]);
    std::memcpy(fix.longitude, b + 12, sizeof fix.longitude);
    fix.longitude[sizeof fix.longitude - 1] = 0;
    fix.lonHemisphere = static_cast<char>(b[23]);
    uint32_t bits = GetU32(b + 24);
    std::memcpy(&fix.speed, &bits, 4);
    bits = GetU32(b + 28);
    std::memcpy(&fix.course, &bits, 4);
    fix.year = GetU16(b + 32);
    fix.month = b[34];
    fix.day = b[35];
    fix.hour = b[36];
    fix.minute = b[37];
    fix.second = b[38];
    return fix;
}

std::string FormatStoredGpsText(const GpsFix& f) {
    // Fixed columns; each text field is NUL-terminated inside its column.
    uint8_t s[kStoredBytes + 7] = {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u%02u%02u", f.day % 100u, f.month % 100u, f.year % 100u);
    std::memcpy(s + 0, buf, 6);
    std::snprintf(buf, sizeof buf, "%02u%02u%02u", f.hour % 100u, f.minute % 100u, f.second % 100u);
    std::memcpy(s + 7, buf, 6);
    s[17] = static_cast<uint8_t>(f.status);
    std::memcpy(s + 18, f.latitude, strnlen(f.latitude, 9));
    s[28] = static_cast<uint8_t>(f.latHemisphere);
    std::memcpy(s + 29, f.longitude, strnlen(f.longitude, 10));
    s[40] = static_cast<uint8_t>(f.lonHemisphere);
    const std::string speed = FormatFixed(f.speed, 1), course = FormatFixed(f.course, 1);
    std::memcpy(s + 41, speed.data(), std::min<size_t>(speed.size(), 5));
    std::memcpy(s + 47, course.data(), std::min<size_t>(course.size(), 5));
    return std::string(reinterpret_cast<char*>(s), sizeof s);
}

}  // namespace corvane
