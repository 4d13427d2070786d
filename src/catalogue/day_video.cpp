#include "catalogue/day_video.h"

#include <algorithm>
#include <cstdio>

#include "catalogue/local_time.h"

namespace corvane {

CDayVideo::~CDayVideo() {
    for (auto& r : recordings) r->ReleaseReaders();
    recordings.clear();
}

std::string CDayVideo::GetDateText() const {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d", Year(), Month(), Day());
    return buf;
}

int CDayVideo::GetChannelCount() const {
    int most = 0;
    for (const auto& r : recordings) most = std::max(most, r->GetChannelCount());
    return most;
}

void CDayVideo::OpenDayReaders() {
    for (auto& r : recordings) {
        if (r->readers.empty()) r->OpenReaders();
    }
    if (!recordings.empty()) {
        current = recordings.front().get();
        currentIndex = 0;
    }
}

void CDayVideo::ReleaseDayReaders() {
    for (auto& r : recordings) r->ReleaseReaders();
}

CDiskVideo* CDayVideo::SeekDayTo(int s) {
    CalendarTime c{Year(), Month(), Day(), s / 3600, s / 60 % 60, s % 60};
    // An invalid date or time positions nothing.
    bool valid = c.year >= 1900 && c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31 && c.hour >= 0 &&
                 c.hour <= 23 && c.minute >= 0 && c.minute <= 59 && c.second >= 0 && c.second <= 59;
    int64_t t = MakeLocalTime(c);
    auto holds = [t](const CDiskVideo& r) { return r.startTime <= t && t <= r.endTime; };
    auto seek = [&](CDiskVideo& r) {
        if (valid) r.SeekTo(t);
    };
    if (current && holds(*current)) {
        seek(*current);
        return current;
    }
    for (size_t i = 0; i < recordings.size(); ++i) {
        if (holds(*recordings[i])) {
            seek(*recordings[i]);
            current = recordings[i].get();
            currentIndex = static_cast<int32_t>(i);
            return current;
        }
    }
    return nullptr;
}

void SortDays(DayList& days) {
    std::stable_sort(days.begin(), days.end(), [](const auto& a, const auto& b) { return a->GetDateText() < b->GetDateText(); });
}

void SortRecordings(CDayVideo& day) {
    std::stable_sort(day.recordings.begin(), day.recordings.end(),
                     [](const auto& a, const auto& b) { return a->startTime < b->startTime; });
    for (size_t i = 0; i < day.recordings.size(); ++i) {
        if (day.recordings[i].get() == day.current) day.currentIndex = static_cast<int32_t>(i);
    }
}

}  // namespace corvane
