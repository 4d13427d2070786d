#pragma once
// The recursive search for recordings below a folder. Runs on the scan thread;
// the GUI thread may set the stop flag at any time and learns of progress
// through posted messages: kMsgScanFolder (wParam: owned std::string* of the
// folder being searched) per folder, kMsgScanDone at the end.
#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "catalogue/day_video.h"
#include "catalogue/recording_name.h"
#include "catalogue/scan_filter.h"
#include "platform/message_sink.h"

namespace corvane {

class RecordingScan {
public:
    // Fills `days` (owned by the caller, untouched by anyone else while the
    // scan runs). `sink` may be null.
    RecordingScan(const ScanFilter& filter, DayList& days, MessageSink* sink);

    // Searches the filter's root folder, then posts kMsgScanDone. True when
    // the search reached its end, false when the stop flag ended it.
    bool Run();
    // Searches one folder and everything below it.
    bool ScanFolder(const std::string& folder);

    // Written by the GUI thread, read by the scan thread before each entry.
    std::atomic<uint8_t> stop{0};

private:
    void AddFile(const std::string& path, const RecordingName& name);

    ScanFilter filter_;
    DayList& days_;
    MessageSink* sink_;
    // The first recording found for each start (date and time as in the names)
    // and the day for each date, so that files join their recording at once.
    std::map<std::string, CDiskVideo*> byStart_;
    std::map<uint32_t, CDayVideo*> byDate_;
    std::set<std::pair<uint64_t, uint64_t>> visited_;  // folders (device, inode): symlink loops
};

}  // namespace corvane
