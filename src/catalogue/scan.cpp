#include "catalogue/scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "catalogue/local_time.h"

namespace corvane {
namespace fs = std::filesystem;
namespace {

constexpr uint64_t kMinRecordingSize = 101;  // smaller files are stubs the recorder left

std::string StartKey(int y, int mo, int d, int h, int mi, int s) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d", y, mo, d, h, mi, s);
    return buf;
}

}  // namespace

RecordingScan::RecordingScan(const ScanFilter& filter, DayList& days, MessageSink* sink)
    : filter_(filter), days_(days), sink_(sink) {
    for (auto& day : days_) {
        byDate_.emplace(day->date, day.get());
        for (auto& r : day->recordings) {
            if (auto c = LocalCalendar(r->startTime)) {
                byStart_.emplace(StartKey(c->year, c->month, c->day, c->hour, c->minute, c->second), r.get());
            }
        }
    }
}

bool RecordingScan::Run() {
    bool finished = ScanFolder(filter_.root);
    if (sink_) sink_->Post(kMsgScanDone, 0, 0);
    return finished;
}

// Depth first, in the order the file system lists the entries, with an
// explicit stack so that very deep trees cannot exhaust the thread's stack.
bool RecordingScan::ScanFolder(const std::string& folder) {
    std::vector<fs::directory_iterator> stack;
    auto enter = [&](const fs::path& dir) {
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0) return;
        if (!visited_.emplace(st.st_dev, st.st_ino).second) return;  // seen before: a link loop
        if (sink_) sink_->Post(kMsgScanFolder, reinterpret_cast<uintptr_t>(new std::string(dir.string())), 0);
        std::error_code ec;
        fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
        if (!ec) stack.push_back(std::move(it));
    };
    enter(fs::path(folder));
    while (!stack.empty()) {
        fs::directory_iterator& it = stack.back();
        if (it == fs::directory_iterator()) {
            stack.pop_back();
            continue;
        }
        if (stop.load()) return false;
        fs::directory_entry entry = *it;
        std::error_code ec;
        it.increment(ec);
        if (ec) it = fs::directory_iterator();  // a folder that fails part-way ends there
        if (entry.is_directory(ec)) {
            enter(entry.path());  // may push: `it` is not used after this
            continue;
        }
        std::string name = entry.path().filename().string();
        std::optional<RecordingName> rec = ClassifyRecordingName(name, filter_);
        if (!rec) continue;
        uint64_t size = entry.file_size(ec);
        if (ec || size < kMinRecordingSize) continue;
        AddFile(entry.path().string(), *rec);
    }
    return true;
}

void RecordingScan::AddFile(const std::string& path, const RecordingName& n) {
    CDiskVideo*& recording = byStart_[StartKey(n.year, n.month, n.day, n.hour, n.minute, n.second)];
    if (!recording) {
        uint32_t date = CDayVideo::PackDate(n.year, n.month, n.day);
        CDayVideo*& day = byDate_[date];
        if (!day) {
            days_.push_back(std::make_unique<CDayVideo>());
            day = days_.back().get();
            day->date = date;
        }
        auto r = std::make_unique<CDiskVideo>();
        r->family = n.family;
        r->multiPart = n.multiPart;
        r->day = day;
        r->tag = n.tag;
        if (n.year > 1970) {
            r->startTime = r->endTime = MakeLocalTime({n.year, n.month, n.day, n.hour, n.minute, n.second});
        }
        recording = r.get();
        day->recordings.push_back(std::move(r));
        // The recording answers to the date and time its start converts back
        // to, as well as to the name that created it.
        if (auto c = LocalCalendar(recording->startTime)) {
            byStart_.emplace(StartKey(c->year, c->month, c->day, c->hour, c->minute, c->second), recording);
        }
    }
    if (n.multiPart) {
        auto& parts = recording->partPaths;
        parts.insert(std::upper_bound(parts.begin(), parts.end(), path), path);
    } else {
        recording->filePath = path;
    }
}

}  // namespace corvane
