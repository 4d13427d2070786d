#include "catalogue/disk_video.h"

#include <algorithm>
#include <cstdio>

#include "catalogue/local_time.h"
#include "config/language.h"
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

const std::string& CDiskVideo::FirstPath() const {
    return multiPart && !partPaths.empty() ? partPaths.front() : filePath;
}

std::vector<std::string> CDiskVideo::Files() const { return multiPart ? partPaths : std::vector<std::string>{filePath}; }

RecordingMeasurement MeasureRecordingFile(const std::string& path) {
    RecordingMeasurement m;
    std::unique_ptr<CxFileReader> r = OpenRecordingReader(0, path, 0);
    if (!r) return m;
    StreamInfo info;
    r->GetInfo(&info);
    m.read = true;
    m.length = info.duration;
    // Files of one channel each report no channel table; they hold one channel.
    m.channelCount = info.channelsPresent ? static_cast<int32_t>(info.channelsPresent) : r->GetChannelCount();
    m.events = WalkEventTable(r->EventTable(), r->EventTableLoaded());
    return m;
}

void CDiskVideo::Measure() {
    if (length >= 1 && length <= 5000) return;
    Apply(MeasureRecordingFile(FirstPath()));
}

void CDiskVideo::Apply(const RecordingMeasurement& m) {
    if (!m.read) return;
    length = m.length;
    channelCount = m.channelCount;
    events = m.events;
    endTime = startTime + length;
}

const char* RepairOutcomeName(RepairOutcome outcome) {
    switch (outcome) {
        case RepairOutcome::kRepaired: return "repaired";
        case RepairOutcome::kUnchanged: return "unchanged";
        default: return "failed";
    }
}

namespace {

// What a plain reader sees of a file's index, to tell a rebuild that changed
// something from one that wrote the same index again.
struct IndexLook {
    bool opened = false;
    int duration = 0;
    std::vector<IndexEntry> entries;
    bool operator==(const IndexLook& o) const {
        return opened == o.opened && duration == o.duration && entries.size() == o.entries.size() &&
               std::equal(entries.begin(), entries.end(), o.entries.begin(),
                          [](const IndexEntry& a, const IndexEntry& b) { return a.time == b.time && a.offset == b.offset; });
    }
};

IndexLook LookAtIndex(const std::string& path) {
    IndexLook look;
    std::unique_ptr<CxFileReader> r = OpenRecordingReader(0, path, 0);
    if (!r) return look;
    look.opened = true;
    look.duration = r->GetDuration();
    look.entries = r->IndexEntries();
    return look;
}

RepairResult Outcome(RepairOutcome outcome, std::string reason = {}) { return RepairResult{outcome, std::move(reason)}; }

}  // namespace

RepairResult RepairRecordingFile(const std::string& path, const std::atomic<bool>* cancel) {
    const IndexLook before = LookAtIndex(path);
    if (!before.opened) return Outcome(RepairOutcome::kFailed, "not a recording this player reads");
    std::unique_ptr<CxFileReader> r = OpenRecordingReader(1, path, 0);
    if (!r) return Outcome(RepairOutcome::kFailed, "cannot be opened for writing");
    // Whoever cancels sets `cancel` first and the rebuild flag after it: a
    // cancel that came just before the flag is cleared here is still seen.
    g_StopRebuildIndex = false;
    if (cancel && cancel->load()) g_StopRebuildIndex = true;
    r->Close();
    const int rebuilt = r->RebuildIndex();
    const bool stopped = g_StopRebuildIndex.load();
    r.reset();
    if (rebuilt < 0) return Outcome(RepairOutcome::kFailed, "the index could not be written (read-only file or full medium)");
    const IndexLook after = LookAtIndex(path);
    if (rebuilt == 1) return Outcome(after == before ? RepairOutcome::kUnchanged : RepairOutcome::kRepaired);
    if (stopped) return Outcome(RepairOutcome::kFailed, "stopped");
    // Nothing written: fine when the file reads as it should without it.
    if (after.opened && !LengthIsDoubtful(static_cast<uint32_t>(after.duration))) return Outcome(RepairOutcome::kUnchanged);
    return Outcome(RepairOutcome::kFailed, "no index could be built from the data");
}

RepairResult RepairRecordingFiles(const std::vector<std::string>& files, const std::atomic<bool>* cancel) {
    if (files.empty()) return Outcome(RepairOutcome::kFailed, "no files");
    RepairResult total = Outcome(RepairOutcome::kUnchanged);
    for (const std::string& file : files) {
        RepairResult one = RepairRecordingFile(file, cancel);
        if (one.Failed()) {
            if (!total.Failed()) total = one;  // the first failure names the reason
        } else if (one.outcome == RepairOutcome::kRepaired && !total.Failed()) {
            total.outcome = RepairOutcome::kRepaired;
        }
    }
    return total;
}

RepairResult CDiskVideo::Repair(const std::atomic<bool>* cancel) const { return RepairRecordingFiles(Files(), cancel); }

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
