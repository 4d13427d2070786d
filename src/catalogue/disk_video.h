#pragma once
// One recording: a single file, or one part file per channel sharing a start
// time. Owns its readers while it is open.
//
// Ownership: the catalogue is changed on one thread only (the player's GUI
// thread; the command-line tool's single thread). The fields set by the scan
// (start time, tag, paths, multi-part, family, day) do not change afterwards.
// The measured fields (length, channel count, end time, events, description)
// and `readers` change only on the owning thread: background workers measure
// and repair with readers of their own and hand back a RecordingMeasurement or
// a RepairResult, which the owning thread applies. While a playback group
// plays the recording it holds shared references to the readers it reads; the
// owner neither opens nor releases them then, and never repairs the files.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/speed_track.h"
#include "readers/event_table.h"
#include "readers/file_reader.h"

namespace corvane {

class CDayVideo;

// A length of at most 1 s or over 5000 s means the header was not finished or
// is damaged.
inline bool LengthIsDoubtful(uint32_t length) { return length < 2 || length > 5000; }

// What measuring a recording's first file found.
struct RecordingMeasurement {
    bool read = false;          // false: the file could not be opened; nothing changes
    uint32_t length = 0;        // seconds
    int32_t channelCount = 0;
    std::vector<EventEntry> events;
};

// What a repair did to a file or a recording.
enum class RepairOutcome { kRepaired, kUnchanged, kFailed };
struct RepairResult {
    RepairOutcome outcome = RepairOutcome::kFailed;
    std::string reason;  // why it failed; empty otherwise
    bool Failed() const { return outcome == RepairOutcome::kFailed; }
};
// "repaired", "unchanged" or "failed".
const char* RepairOutcomeName(RepairOutcome outcome);

class CDiskVideo {
public:
    CDiskVideo() = default;
    virtual ~CDiskVideo();
    CDiskVideo(const CDiskVideo&) = delete;
    CDiskVideo& operator=(const CDiskVideo&) = delete;

    int64_t startTime = 0;   // seconds since 1970, from the file name (local time)
    int64_t endTime = 0;     // start + length once measured
    std::string tag;         // fifth "_"-separated field of the file title
    std::string filePath;    // single-file recordings
    std::vector<std::string> partPaths;  // multi-part recordings, ascending
    int32_t multiPart = 0;
    int32_t family = 0;      // 1: "H264", "H265", "cam" names; 0: "HAY", "VVS"
    CDayVideo* day = nullptr;
    uint32_t length = 0;     // seconds, 0 until measured
    int32_t channelCount = 0;
    std::string description; // recorder name of the first reader
    std::vector<EventEntry> events;
    // The GPS speeds, once the measuring worker has read them (the day
    // timeline draws them); empty when the recording has no valid fixes.
    std::vector<SpeedSample> speeds;
    bool speedsRead = false;
    // One per channel while open. Shared: a playing group keeps the readers it
    // reads alive whatever happens to this list.
    std::vector<std::shared_ptr<CxFileReader>> readers;

    // Opens one reader per channel (when none are open). 1 when the recording
    // has readers afterwards.
    int OpenReaders();
    void ReleaseReaders();
    // The file measuring reads: the single file, or the first part.
    const std::string& FirstPath() const;
    // Every file of the recording: the single file, or each part in order.
    std::vector<std::string> Files() const;
    // Reads length, channel count and alarm events from the first file
    // (unless a plausible length is known already) and applies them.
    void Measure();
    // Takes a measurement: length, channel count, end time, and the event
    // list, which it replaces. An unread measurement changes nothing.
    void Apply(const RecordingMeasurement& m);
    // Rebuilds the key-frame index of every file in place; every part is
    // tried. Failed when a file failed, repaired when one changed, else
    // unchanged.
    RepairResult Repair(const std::atomic<bool>* cancel = nullptr) const;

    bool IsAlarm() const;
    std::string GetTypeText() const;  // "Alarm" or "Normal" in the interface language
    std::string GetStartText() const;     // "h:mm:ss"
    std::string GetEndText() const;
    std::string GetStartDateText() const; // "yyyy-mm-dd"
    std::string GetLengthText() const;    // "h:mm:ss"
    int StartSecondOfDay() const;
    int EndSecondOfDay() const;
    // Channels: the part files of a multi-part recording, else the channel count.
    int GetChannelCount() const;
    // Whether the start time is this date and time of day.
    bool MatchesStart(int year, int month, int day, int hour, int minute, int second) const;
    // Seeks every reader to the moment t (seconds since 1970).
    void SeekTo(int64_t t);
};

// Measures one file: length, channel count and the alarm events of its table.
RecordingMeasurement MeasureRecordingFile(const std::string& path);

// Rebuilds the index of one file the way the repair command does: open it
// writable, close it, rebuild. Repaired when the index or length changed;
// unchanged when it was rebuilt as it was, or when the file needs nothing (it
// reads with a plausible length and nothing was written); failed otherwise.
// `cancel`, when given and set, stops the rebuild (the file stays as it was).
RepairResult RepairRecordingFile(const std::string& path, const std::atomic<bool>* cancel = nullptr);
// Every file in turn, each tried: failed when one failed (naming the first
// failure), repaired when one was, else unchanged. No files: failed.
RepairResult RepairRecordingFiles(const std::vector<std::string>& files, const std::atomic<bool>* cancel = nullptr);

}  // namespace corvane
