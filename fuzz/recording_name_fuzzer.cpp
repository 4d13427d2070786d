// The scan's file-name tests, and the conversions a recognised name goes
// through when the scan creates its recording.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "catalogue/day_video.h"
#include "catalogue/local_time.h"
#include "catalogue/recording_name.h"
#include "reader_exercise.h"

namespace {

bool StartsNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Input: a flag byte (bit 0: all times), the filter's year (i16), month, day,
// start and stop hour, minute, second (i8 each), then the file name.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    if (size < 11) return 0;
    ScanFilter filter;
    filter.allTimes = data[0] & 1;
    filter.year = static_cast<int16_t>(data[1] | (data[2] << 8));
    filter.month = static_cast<int8_t>(data[3]);
    filter.day = static_cast<int8_t>(data[4]);
    filter.startHour = static_cast<int8_t>(data[5]);
    filter.startMinute = static_cast<int8_t>(data[6]);
    filter.startSecond = static_cast<int8_t>(data[7]);
    filter.stopHour = static_cast<int8_t>(data[8]);
    filter.stopMinute = static_cast<int8_t>(data[9]);
    filter.stopSecond = static_cast<int8_t>(data[10]);
    const std::string_view name(reinterpret_cast<const char*>(data + 11), size - 11);

    std::optional<RecordingName> r = ClassifyRecordingName(name, filter);
    if (!r) return 0;
    FUZZ_CHECK(r->date.size() == 8 && r->time.size() == 6);
    FUZZ_CHECK(r->tag.find('_') == std::string::npos);
    const bool familyZero = StartsNoCase(name, "HAY") || StartsNoCase(name, "VVS");
    FUZZ_CHECK(r->family == (familyZero ? 0 : 1));
    FUZZ_CHECK(r->year >= 0 && r->year <= 9999 && r->month >= 0 && r->month <= 99 && r->day >= 0 && r->day <= 99);
    FUZZ_CHECK(r->hour >= 0 && r->hour <= 99 && r->minute >= 0 && r->minute <= 99 && r->second >= 0 && r->second <= 99);
    if (!filter.allTimes) {
        char day[32];
        std::snprintf(day, sizeof day, "%d%02d%02d", filter.year, filter.month, filter.day);
        FUZZ_CHECK(r->date == day);
    }

    // What the scan does with it.
    CDayVideo::PackDate(r->year, r->month, r->day);
    if (r->year > 1970) {
        int64_t start = MakeLocalTime({r->year, r->month, r->day, r->hour, r->minute, r->second});
        LocalCalendar(start);
        FormatLocalDateTime(start);
    }
    return 0;
}
