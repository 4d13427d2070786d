#pragma once
// One channel of a time range of a day, read record by record: the recording
// that holds the range's start, sought there, then each following recording
// that begins inside the range, up to the range's end. The conversion writes
// a channel file from it; the mosaic steps several of them side by side by
// record time.
//
// The reader opens the readers of one recording at a time (the day's copy
// that the export owns) and releases them when it moves on or is destroyed.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/day_video.h"

namespace corvane {

class ChannelReader {
public:
    ChannelReader(CDayVideo& day, int row, int endSecond);
    ~ChannelReader();
    ChannelReader(const ChannelReader&) = delete;
    ChannelReader& operator=(const ChannelReader&) = delete;

    // The recording that holds the start time, sought there; else the first
    // one that begins after it. The reader of that recording's channel (null
    // when there is none).
    CxFileReader* Position(int startSecond);
    // The next record of the range into `unit`, with the reader it came from
    // and the second of the day the reader stands at (before this record).
    // Records of a hidden stream are passed over. False at the range's end.
    bool Next(std::unique_ptr<CxMemUnit>& unit, CxFileReader*& reader, int64_t& second);
    // From now on, recordings whose video is in the other codec are left out
    // (and counted): one video stream has one codec.
    void KeepCodec(bool hevc) { codec_ = hevc; }

    // The record's time: the recording's start (local time from its name)
    // plus the record's offset from the recording's first record, in ms since
    // 1970.
    int64_t TimeOf(const RecordHeader& h, CxFileReader& reader) const;

    int Row() const { return row_; }
    CDiskVideo* Current() const;
    // The file the current recording's channel is read from (empty: none).
    std::string CurrentFile() const;
    uint32_t SkippedRecordings() const { return skipped_; }
    // The recording files read, in the order first read.
    const std::vector<std::string>& Sources() const { return sources_; }
    // The recordings read (indices into the day's list), sorted, each once.
    std::vector<size_t> RecordingsRead() const;

    // The files a reader of the row will most likely read for the range: the
    // row's file of every recording that overlaps it. Known before reading,
    // so that the export can hash them meanwhile.
    static std::vector<std::string> FilesOfRange(const CDayVideo& day, int row, int startSecond, int endSecond);

private:
    CxFileReader* ReaderOf(CDiskVideo& r) const;
    bool Advance();
    void Entered(const CDiskVideo& r);

    CDayVideo& day_;
    const int row_;
    const int end_;        // second of the day where the range ends
    int recording_ = -1;   // index into the day's recordings; -1: none (left)
    std::optional<bool> codec_;  // hevc, once the stream's codec is fixed
    uint32_t skipped_ = 0;
    std::vector<std::string> sources_;
    std::vector<size_t> read_;
};

}  // namespace corvane
