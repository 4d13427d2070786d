#pragma once
// GPS fixes of a drive through Shenzhen along Shennan Boulevard, with the
// speed changing and stops at traffic lights, one fix per second. Positions
// are WGS-84 as a receiver gives them (the map pages shift them into the
// offset system the map services use).
#include <cstdint>

#include "readers/gps_fix.h"
#include "scene.h"

namespace corvane::demo {

class Drive {
public:
    // `reverse` drives the route from east to west.
    explicit Drive(bool reverse);

    // The fix at `second` seconds after the drive began; `local` is the local
    // time of that moment (the fix carries UTC, China being 8 hours ahead).
    GpsFix FixAt(int second, const ClockTime& local) const;

    // Position in decimal degrees, speed in km/h, course in degrees from north.
    struct State {
        double lat, lon, speedKmh, course;
    };
    State StateAt(int second) const;

private:
    bool reverse_;
};

}  // namespace corvane::demo
