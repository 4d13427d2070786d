#pragma once
// The conversion of a time range of one day: one file per channel (or, with
// the mosaic, one file of all channels: mosaic_export.h), each
// holding the channel's video access units as stored and its sound (PCM in an
// AVI file, AAC in an MP4 file). When the channels are done, the GPS track of
// the range (GPX) and the evidence manifest are written beside them; the
// files the manifest names are hashed meanwhile on a second thread
// (evidence_hasher.h). One worker thread does the channels one after the
// other and reports through the message sink (wParam is the row, that is the
// channel index from 0):
//   kMsgConvertProgress  lParam percent of the day's span reached (0..100)
//   kMsgEndOfRecording   lParam 100: the row's file is complete
//   kMsgConvertDone      all rows done (not posted after a stop)
//
// The job works on its own copy of the day's recordings and opens readers of
// its own, one recording at a time, so playback may go on using the day's
// readers while the job runs.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/day_video.h"
#include "export/avi_writer.h"
#include "export/channel_file.h"
#include "export/evidence_hasher.h"
#include "export/gps_track.h"
#include "platform/message_sink.h"

namespace corvane {

// The mosaic: one MP4 file whose picture holds every channel in the grid of
// the player (1, 4 or 9 cells), encoded to H.264.
struct MosaicSettings {
    bool enabled = false;
    int audioRow = -1;  // the channel (row) whose sound is kept; -1: the first that has sound
    int cellWidth = 0, cellHeight = 0;  // 0: the first channel's picture size
    int crf = 23;
    std::string preset = "veryfast";
};

struct ConvertSettings {
    int startSecond = 0;  // time of day, 0..86399
    int endSecond = 0;    // time of day; at or after startSecond
    std::string folder;   // output folder
    uint32_t aviSizeLimit = kAviSizeLimit;
    ExportFormat format = ExportFormat::kAvi;
    MosaicSettings mosaic;  // when enabled, the format is MP4 and one file holds all rows
    bool evidence = true;   // false: neither GPS track nor manifest (the export benchmark's baseline)
};

// A stretch of at least a second without video between two frames written.
struct ExportGap {
    int64_t fromMs = 0, toMs = 0;  // ms since 1970: end of the frame before, the frame after
};

enum class ChannelResult {
    kNotRun,        // the job ended before this row
    kDone,          // the whole range was written
    kStopped,       // stopped; the file is complete up to the last frame written
    kCreateFailed,  // the file could not be created
    kWriteFailed,   // a write, the index or the header failed; the channel ended there
    kSizeLimit,     // the file reached the AVI size limit; the channel ended there
};

struct ChannelOutcome {
    std::string path;
    ChannelResult result = ChannelResult::kNotRun;
    uint32_t videoFrames = 0;
    uint64_t audioBytes = 0;
    // Recordings of the range left out because their video is in the other
    // codec than the file's (H.264 and H.265 cannot share a stream).
    uint32_t skippedRecordings = 0;
    std::string reason;  // for the failures: what went wrong (a mosaic row: the damaged video it went past)
    // The span written: the first frame to the end of the last one (ms since
    // 1970; -1 when nothing was written), and the gaps inside it.
    int64_t firstMs = -1, endMs = -1;
    std::vector<ExportGap> gaps;
    uint32_t alarms = 0;               // alarm events inside the span
    std::vector<std::string> sources;  // the recording files read
};

// "20160920_190909_CH1.AVI" (".mp4" for MP4): the day's date, the start
// time, the row + 1.
std::string ConvertFileName(const CDayVideo& day, int startSecond, int row, ExportFormat format = ExportFormat::kAvi);
// "20160920_190909.gpx": the GPS track of the range.
std::string GpsFileName(const CDayVideo& day, int startSecond);
// "20160920_190909_ALL.mp4": the mosaic of all channels.
std::string MosaicFileName(const CDayVideo& day, int startSecond);
// A copy of the day's recordings (files, times, lengths, events) without
// their readers, for an export that opens readers of its own.
std::unique_ptr<CDayVideo> CopyDay(const CDayVideo& day);
// The folder and the name joined by one "/".
std::string ConvertFilePath(const std::string& folder, const std::string& name);

class CConvertJob {
public:
    // Copies what it needs of the day (its recordings' files and times); the
    // day itself is not touched afterwards. The rows are the day's channels.
    CConvertJob(const CDayVideo& day, const ConvertSettings& settings, MessageSink* sink);
    ~CConvertJob();  // stops and joins a running worker
    CConvertJob(const CConvertJob&) = delete;
    CConvertJob& operator=(const CConvertJob&) = delete;

    int RowCount() const { return static_cast<int>(outcomes_.size()); }
    // Starts the worker; false when one runs already or the thread cannot be made.
    bool Start();
    // Asks the worker to finish the file it writes and end; then waits for it.
    void Stop();
    // Waits for the worker to end by itself.
    void Wait();
    // The rows' outcomes; read them only when no worker runs (after Wait or Stop).
    const std::vector<ChannelOutcome>& Outcomes() const { return outcomes_; }
    // The GPX file written beside the channels (empty when the range has no
    // GPS), and why the GPX file or the manifest could not be written.
    const std::string& GpsPath() const { return gpsPath_; }
    const std::string& EvidenceError() const { return evidenceError_; }
    // With the mosaic: the one file written (the rows then tell what was read
    // of each channel); read it only when no worker runs.
    const ChannelOutcome& Mosaic() const { return mosaic_; }

    // Runs the job on the calling thread (the worker's body).
    void Run();

    // Set by the controlling thread to stop; read by the worker at every frame
    // and row.
    std::atomic<int32_t> stop{1};

private:
    struct Channel;
    void ConvertRow(int row, EvidenceHasher* hasher);
    int WriteRow(int row, int endSecond);
    void WriteEvidence(EvidenceHasher& hasher);
    void Post(uint32_t id, int row, intptr_t value);

    std::unique_ptr<CDayVideo> day_;  // the job's own copy; only the worker uses it while it runs
    ConvertSettings settings_;
    MessageSink* sink_;
    std::vector<ChannelOutcome> outcomes_;  // written by the worker, read after it ended
    ChannelOutcome mosaic_;                 // written by the worker, read after it ended
    std::vector<GpsPoint> gps_;             // of the first channel that has GPS; worker only
    std::string gpsPath_, evidenceError_;   // written by the worker, read after it ended
    std::thread worker_;
};

}  // namespace corvane
