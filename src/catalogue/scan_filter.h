#pragma once
#include <string>

namespace corvane {

// What the import dialog asks the scan for. Components of an invalid date or
// time read as -1.
struct ScanFilter {
    std::string root;     // folder to search, recursively
    int allTimes = 1;     // non-zero: no date or time filter
    int year = -1, month = -1, day = -1;
    int startHour = 0, startMinute = 0, startSecond = 0;
    int stopHour = 23, stopMinute = 59, stopSecond = 59;
};

}  // namespace corvane
