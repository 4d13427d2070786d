#pragma once
// Recognising recordings by their file names.
//
// Fixed layout, exactly 30 characters:
//   H264_20150812_123000_N0_01.264   (family 1: "H264", "H265", "cam" prefixes)
//   HAY_20150812_123000_N0_01.h264   (family 0: "HAY", "VVS")
// date, time, then a marker: "N0" for a single file, anything else for one part
// of a recording kept as one file per channel.
// Split layout for "cam" names ending in "tac": the fifth "_"-separated field
// starts with the date and time (YYYYMMDDhhmmss).
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/scan_filter.h"

namespace corvane {

struct RecordingName {
    std::string date;  // "YYYYMMDD"
    std::string time;  // "hhmmss"
    int family = 0;
    int multiPart = 0;
    std::string tag;   // fifth "_"-separated field of the title
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Classifies a file name (without folder). Nothing when it is not the name of
// a recording or the filter excludes it.
std::optional<RecordingName> ClassifyRecordingName(std::string_view name, const ScanFilter& filter);

}  // namespace corvane
