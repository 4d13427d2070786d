#include "catalogue/local_time.h"

#include <cstdio>
#include <ctime>

namespace corvane {

int64_t MakeLocalTime(const CalendarTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = 0;
    return static_cast<int64_t>(std::mktime(&tm));
}

std::optional<CalendarTime> LocalCalendar(int64_t seconds) {
    std::time_t tt = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&tt, &tm)) return std::nullopt;
    return CalendarTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string FormatLocalDateTime(int64_t seconds) {
    std::optional<CalendarTime> c = LocalCalendar(seconds);
    if (!c) return "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c->year, c->month, c->day, c->hour, c->minute,
                  c->second);
    return buf;
}

}  // namespace corvane
