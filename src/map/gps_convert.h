#pragma once
// GPS positions for the map: the recorder's packed degrees-and-minutes numbers
// to decimal degrees, and the two coordinate shifts the map pages expect.
//
// Recorders store latitude as ddmm.mmmm and longitude as dddmm.mmmm (NMEA
// style) with a hemisphere byte each. Map services inside China draw their
// tiles in a shifted system: the first page works in the "offset" system that
// WgsToOffset produces, the second page in the system OffsetToSecond produces
// from that. Outside the offset box both services use plain WGS-84.
#include <optional>

#include "readers/gps_fix.h"

namespace corvane {

struct LonLat {
    double lon = 0;  // degrees, east positive
    double lat = 0;  // degrees, north positive
};

// d + (v - 100 d) / 60 with d the whole part of v / 100, truncated towards 0.
double DegreesFromDegMin(double packed);

// Whether a hemisphere byte means south (for a latitude) or west (for a
// longitude): the byte 1, or the letter 'S' / 'W' that NMEA receivers write.
bool IsSouth(char hemisphere);
bool IsWest(char hemisphere);

// Latitude and longitude of a packed fix as signed decimal degrees.
LonLat PositionFromDegMin(double latitude, char latHemisphere, double longitude, char lonHemisphere);

// WGS-84 to the offset system. Positions outside the box
// 72.004..137.8347 E, 0.8293..55.8271 N come back unchanged.
LonLat WgsToOffset(LonLat wgs);

// The second system, computed from offset-system coordinates (no box: every
// position goes through it).
LonLat OffsetToSecond(LonLat offset);

// What a map page of the given type is sent: the offset system for every
// type, followed by the second conversion for type 0.
LonLat MapCoordinates(LonLat wgs, int mapType);

// WGS-84 decimal degrees of a decoded fix, for track exports. The texts must
// be plain numbers (digits with at most one '.'), the minutes below 60 and
// the result on the globe; otherwise there is no position. The status byte is
// not looked at.
std::optional<LonLat> WgsPositionOfFix(const GpsFix& fix);

}  // namespace corvane
