#include "catalogue/disk_video.h"

#include <cstdio>

#include "app/language.h"
#include "catalogue/local_time.h"
#include "readers/probe.h"

namespace corvane {
namespace {

std::string FormatClock(int64_t t) {
    std::optional<CalendarTime> c = LocalCalendar(t);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", c ? c->hour : -1, c ? c->minute : -1, c ? c->second : -1);
    return buf;
}

int SecondOfDay(int64_t t) {
    std::optional<CalendarTime> c = LocalCalendar(t);
    return c ? c->hour * 3600 + c->minute * 60 + c->second : 0;
}

}  // namespace

CDiskVideo::~CDiskVideo() { ReleaseReaders(); }

int CDiskVideo::OpenReaders() {
    if (readers.empty()) {
        if (multiPart) {
            for (size_t i = 0; i < partPaths.size(); ++i) {
                if (auto r = OpenRecordingReader(0, partPaths[i], static_cast<int>(i))) readers.push_back(std::move(r));
            }
        } else if (auto first = OpenRecordingReader(0, filePath, 0)) {
            for (int i = 0; i < first->GetChannelCount(); ++i) {
                int id = first->GetChannelId(i);
                if (id <= 0) continue;
                if (auto r = OpenRecordingReader(0, filePath, id)) readers.push_back(std::move(r));
            }
            // A file that keeps one channel and names none serves it through
            // the first reader itself.
            if (readers.empty()) readers.push_back(std::move(first));
        }
    }
    if (readers.empty()) return 0;
    endTime = startTime + length;
    description = readers.front()->RecorderName();
    return 1;
}

void CDiskVideo::ReleaseReaders() { readers.clear(); }

void CDiskVideo::Measure() {
    if (length >= 1 && length <= 5000) return;
    const std::string& path = multiPart ? (partPaths.empty() ? filePath : partPaths.front()) : filePath;
    std::unique_ptr<CxFileReader> r = OpenRecordingReader(0, path, 0);
    if (!r) return;
    StreamInfo info;
    r->GetInfo(&info);
    length = info.duration;
    // Files of one channel each report no channel table; they hold one channel.
    channelCount = info.channelsPresent ? static_cast<int32_t>(info.channelsPresent) : r->GetChannelCount();
    for (const EventEntry& e : WalkEventTable(r->EventTable(), r->EventTableLoaded())) events.push_back(e);
    endTime = startTime + length;
}

bool RepairRecordingFile(const std::string& path) {
    std::unique_ptr<CxFileReader> r = OpenRecordingReader(1, path, 0);
    if (!r) return false;
    g_StopRebuildIndex = false;
    r->Close();
    return r->RebuildIndex() == 1;
}

bool CDiskVideo::Repair() {
    if (!multiPart) return RepairRecordingFile(filePath);
    if (partPaths.empty()) return false;
    for (const std::string& part : partPaths) {
        if (!RepairRecordingFile(part)) return false;
    }
    return true;
}

bool CDiskVideo::IsAlarm() const {
    if (family == 0) return false;
    if (multiPart) {
        int value = 0;
        for (size_t i = 0; i < tag.size() && i < 9 && tag[i] >= '0' && tag[i] <= '9'; ++i) value = value * 10 + (tag[i] - '0');
        return !tag.empty() && tag[0] == '0' && value >= 1 && value <= 13;
    }
    return !events.empty();
}

std::string CDiskVideo::GetTypeText() const {
    return IsAlarm() ? GetLangText("FORM_MAIN", "TYPE_ALARM", "Alarm") : GetLangText("FORM_MAIN", "TYPE_NORMAL", "Normal");
}

std::string CDiskVideo::GetStartText() const { return FormatClock(startTime); }
std::string CDiskVideo::GetEndText() const { return FormatClock(endTime); }

std::string CDiskVideo::GetStartDateText() const {
    std::optional<CalendarTime> c = LocalCalendar(startTime);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d", c ? c->year : 0, c ? c->month : 0, c ? c->day : 0);
    return buf;
}

std::string CDiskVideo::GetLengthText() const {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", static_cast<int>(length / 3600), static_cast<int>(length % 3600 / 60),
                  static_cast<int>(length % 60));
    return buf;
}

int CDiskVideo::StartSecondOfDay() const { return SecondOfDay(startTime); }
int CDiskVideo::EndSecondOfDay() const { return SecondOfDay(endTime); }

int CDiskVideo::GetChannelCount() const { return multiPart ? static_cast<int>(partPaths.size()) : channelCount; }

bool CDiskVideo::MatchesStart(int year, int month, int day, int hour, int minute, int second) const {
    std::optional<CalendarTime> c = LocalCalendar(startTime);
    return c && c->year == year && c->month == month && c->day == day && c->hour == hour && c->minute == minute &&
           c->second == second;
}

void CDiskVideo::SeekTo(int64_t t) {
    int64_t offset = t - startTime;
    int second = offset < 0 ? 0 : offset > INT32_MAX ? INT32_MAX : static_cast<int>(offset);
    for (auto& r : readers) r->SeekToSecond(second);
}

}  // namespace corvane
