#pragma once
// Recordings store local time; these convert between calendar fields and
// seconds since 1970 the way the recorder's clock meant them.
#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

struct CalendarTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Local time to seconds since 1970, daylight saving not in effect.
int64_t MakeLocalTime(const CalendarTime& t);
// Seconds since 1970 to local calendar fields; nothing when not convertible.
std::optional<CalendarTime> LocalCalendar(int64_t seconds);

// "2015-08-12 12:30:00"
std::string FormatLocalDateTime(int64_t seconds);

}  // namespace corvane
