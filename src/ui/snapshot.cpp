#include "ui/snapshot.h"

#include <cstdio>

#include "catalogue/local_time.h"

namespace corvane {

std::string SnapshotName(int64_t t) {
    std::optional<CalendarTime> c = LocalCalendar(t);
    if (!c) return "snapshot";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d_%02d_%02d_%02d", c->year, c->month, c->day, c->second);
    return buf;
}

}  // namespace corvane
