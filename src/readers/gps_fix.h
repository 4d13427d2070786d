#pragma once
// The decoded GPS record (40 bytes) that readers hand out as the payload of
// type-4 records:
//
//   0  u8        fix status character
//   1  10 bytes  latitude text ddmm.mmmm, NUL-terminated
//  11  u8        latitude hemisphere
//  12  11 bytes  longitude text dddmm.mmmm, NUL-terminated
//  23  u8        longitude hemisphere
//  24  f32       speed
//  28  f32       course
//  32  u16       year
//  34  u8 x 5    month, day, hour, minute, second
//  39  u8        zero
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace corvane {

constexpr size_t kGpsFixSize = 40;

struct GpsFix {
    char status = 0;
    char latitude[10] = {};
    char latHemisphere = 0;
    char longitude[11] = {};
    char lonHemisphere = 0;
    float speed = 0;
    float course = 0;
    uint16_t year = 0;
    uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;

    // Decodes the recorder's text fix: date DDMMYY at 0, time HHMMSS at 7,
    // status at 17, latitude at 18, its hemisphere at 28, longitude at 29, its
    // hemisphere at 40, speed at 41, course at 47. Only the first 53 bytes are
    // looked at; bytes beyond the stored length count as zero.
    static GpsFix Decode(const uint8_t* stored, size_t length);

    void Serialize(uint8_t* out) const;  // 40 bytes
    static GpsFix Parse(const uint8_t* bytes);  // from 40 bytes

    std::string LatitudeText() const { return std::string(latitude, strnlen(latitude, sizeof latitude)); }
    std::string LongitudeText() const { return std::string(longitude, strnlen(longitude, sizeof longitude)); }
};

// A fix with its degree-and-minute texts turned into numbers: the playback
// group's copy of the latest fix (zero at creation, kept between recordings),
// which the map feed reads.
struct GroupGpsFix {
    uint8_t status = 0;  // 0: no fix yet
    double latitude = 0;  // ddmm.mmmm
    uint8_t latHemisphere = 0;
    double longitude = 0;  // dddmm.mmmm
    uint8_t lonHemisphere = 0;
    float speed = 0;
    float course = 0;
    uint8_t dateTime[8] = {};  // as in the decoded fix: u16 year, month, day, hour, minute, second, 0
};

// The stored text form of a fix, as recorders write it (used by the test and
// demo writers).
std::string FormatStoredGpsText(const GpsFix& fix);

}  // namespace corvane
