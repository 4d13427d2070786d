#include "catalogue/scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "catalogue/local_time.h"

namespace corvane {
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

namespace {

struct FolderEntry {
    std::string name;
    unsigned char type;  // DT_DIR, DT_REG, DT_LNK, DT_UNKNOWN, ...
};

// One folder's entries in the order the file system lists them. The folder is
// closed before its entries are visited, so deep trees hold no descriptors.
std::vector<FolderEntry> ListFolder(const std::string& path) {
    std::vector<FolderEntry> entries;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return entries;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        entries.push_back({e->d_name, e->d_type});
    }
    ::closedir(dir);
    return entries;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return (!folder.empty() && folder.back() == '/') ? folder + name : folder + "/" + name;
}

}  // namespace

// Depth first, in the order the file system lists the entries, with an
// explicit stack so that very deep trees cannot exhaust the thread's stack.
bool RecordingScan::ScanFolder(const std::string& folder) {
    struct Level {
        std::string path;
        std::vector<FolderEntry> entries;
        size_t next = 0;
    };
    std::vector<Level> stack;
    auto enter = [&](const std::string& dir) {
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
        if (!visited_.emplace(st.st_dev, st.st_ino).second) return;  // seen before: a link loop
        if (sink_) sink_->Post(kMsgScanFolder, reinterpret_cast<uintptr_t>(new std::string(dir)), 0);
        stack.push_back({dir, ListFolder(dir), 0});
    };
    enter(folder);
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.entries.size()) {
            stack.pop_back();
            continue;
        }
        if (stop.load()) return false;
        const FolderEntry& entry = level.entries[level.next++];
        std::string path = JoinPath(level.path, entry.name);
        if (entry.type == DT_DIR) {
            enter(path);  // may grow the stack: `level` is not used after this
            continue;
        }
        if (entry.type != DT_REG && entry.type != DT_LNK && entry.type != DT_UNKNOWN) continue;
        std::optional<RecordingName> rec = ClassifyRecordingName(entry.name, filter_);
        struct stat st {};
        if (!rec) {
            // Only links and entries of unknown type can still be folders.
            if (entry.type != DT_REG && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) enter(path);
            continue;
        }
        if (::stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            enter(path);
            continue;
        }
        if (static_cast<uint64_t>(st.st_size) < kMinRecordingSize) continue;
        AddFile(path, *rec);
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
