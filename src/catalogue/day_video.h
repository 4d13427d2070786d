#pragma once
// One calendar day of recordings.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/disk_video.h"

namespace corvane {

class CDayVideo {
public:
    CDayVideo() = default;
    virtual ~CDayVideo();
    CDayVideo(const CDayVideo&) = delete;
    CDayVideo& operator=(const CDayVideo&) = delete;

    std::vector<std::unique_ptr<CDiskVideo>> recordings;  // in the order the scan found them
    uint32_t date = 0;  // year in bits 0-15, month in bits 16-23, day in bits 24-31
    CDiskVideo* current = nullptr;
    int32_t currentIndex = 0;

    static uint32_t PackDate(int year, int month, int day) {
        return (static_cast<uint32_t>(year) & 0xFFFF) | ((static_cast<uint32_t>(month) & 0xFF) << 16) |
               ((static_cast<uint32_t>(day) & 0xFF) << 24);
    }
    int Year() const { return static_cast<int>(date & 0xFFFF); }
    int Month() const { return static_cast<int>((date >> 16) & 0xFF); }
    int Day() const { return static_cast<int>(date >> 24); }

    std::string GetDateText() const;  // "2015-08-12"
    // The largest channel count among the recordings.
    int GetChannelCount() const;
    void OpenDayReaders();
    void ReleaseDayReaders();
    // Positions the recording that holds second s of the day (0..86399) and
    // makes it current; null when no recording holds it.
    CDiskVideo* SeekDayTo(int s);
};

using DayList = std::vector<std::unique_ptr<CDayVideo>>;

// The order the main window lists them in: days ascending by date text,
// recordings of a day ascending by start time; both stable.
void SortDays(DayList& days);
void SortRecordings(CDayVideo& day);

}  // namespace corvane
