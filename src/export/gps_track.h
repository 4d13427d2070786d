#pragma once
// The GPS track of a recording: its fixes with positions in WGS-84 decimal
// degrees, and the track written as GPX 1.1 or CSV.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "readers/file_reader.h"
#include "readers/gps_fix.h"

namespace corvane {

struct GpsPoint {
    uint64_t timestamp = 0;  // of the GPS record, milliseconds
    GpsFix fix;              // as decoded from the record
    // Decimal degrees, south and west negative; empty when the text is not a
    // position.
    std::optional<double> latitude, longitude;
    // The fix's date and time (UTC) as "2016-09-20T19:09:09Z"; empty when
    // they are not a valid date and time.
    std::optional<std::string> utcTime;

    // Whether the point belongs on a track: a valid fix ("A") with a position
    // and a time.
    bool OnTrack() const { return fix.status == 'A' && latitude && longitude && utcTime; }
};

// Degrees from the recorder's degrees-and-minutes text ("2232.5000" is 22
// degrees 32.5 minutes). Hemisphere 'S', 'W' (either case) or the byte 1
// makes the value negative. Empty when the text is not such a number or the
// value lies beyond `maxDegrees`.
std::optional<double> DegreesFromDegreesMinutes(const std::string& text, char hemisphere, double maxDegrees);

GpsPoint MakeGpsPoint(const GpsFix& fix, uint64_t timestamp);

// The fix of a GPS record (decoding the stored text of the versions that hand
// it through); empty when the record is too short.
std::optional<GpsPoint> GpsPointOf(CxFileReader& reader, const CxMemUnit& unit);

// Reads the reader's records from where it stands to its end and keeps the GPS
// fixes (decoding the stored text of the versions that hand it through).
std::vector<GpsPoint> ReadGpsTrack(CxFileReader& reader);

// A GPX 1.1 document with one track of the on-track points, each with its
// time. `name` may hold any bytes; it is made valid XML text.
std::string FormatGpx(const std::vector<GpsPoint>& points, const std::string& name);
// A header line, then one line per point (empty fields for what it lacks).
std::string FormatCsv(const std::vector<GpsPoint>& points);

}  // namespace corvane
