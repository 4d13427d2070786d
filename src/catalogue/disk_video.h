#pragma once
// One recording: a single file, or one part file per channel sharing a start
// time. Owns its readers while it is open.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "readers/event_table.h"
#include "readers/file_reader.h"

namespace corvane {

class CDayVideo;

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
    std::vector<std::unique_ptr<CxFileReader>> readers;  // one per channel while open

    // Opens one reader per channel (when none are open). 1 when the recording
    // has readers afterwards.
    int OpenReaders();
    void ReleaseReaders();
    // Reads length, channel count and alarm events from the first file
    // (unless a plausible length is known already).
    void Measure();
    // Rebuilds the key-frame index of every file in place. True only when
    // every file was opened writable and its index written.
    bool Repair();

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

// Rebuilds the index of one file the way the repair command does: open it
// writable, close it, rebuild. True when the index was written.
bool RepairRecordingFile(const std::string& path);

}  // namespace corvane
