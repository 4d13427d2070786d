#include "export/convert_job.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "catalogue/local_time.h"
#include "codecs/hi_voice.h"
#include "codecs/voice_format.h"
#include "export/channel_reader.h"
#include "export/evidence_manifest.h"
#include "export/mosaic_export.h"

namespace corvane {
namespace {

static_assert(std::endian::native == std::endian::little, "PCM samples are written as they lie in memory");

}  // namespace

std::unique_ptr<CDayVideo> CopyDay(const CDayVideo& day) {
    auto copy = std::make_unique<CDayVideo>();
    copy->date = day.date;
    for (const auto& r : day.recordings) {
        auto c = std::make_unique<CDiskVideo>();
        c->startTime = r->startTime;
        c->endTime = r->endTime;
        c->tag = r->tag;
        c->filePath = r->filePath;
        c->partPaths = r->partPaths;
        c->multiPart = r->multiPart;
        c->family = r->family;
        c->day = copy.get();
        c->length = r->length;
        c->channelCount = r->channelCount;
        c->description = r->description;
        c->events = r->events;
        copy->recordings.push_back(std::move(c));
    }
    return copy;
}

std::string ConvertFileName(const CDayVideo& day, int startSecond, int row, ExportFormat format) {
    char name[96];
    std::snprintf(name, sizeof name, "%d%02d%02d_%02d%02d%02d_CH%d.%s", day.Year(), day.Month(), day.Day(),
                  startSecond / 3600, startSecond / 60 % 60, startSecond % 60, row + 1,
                  format == ExportFormat::kMp4 ? "mp4" : "AVI");
    return name;
}

std::string GpsFileName(const CDayVideo& day, int startSecond) {
    char name[64];
    std::snprintf(name, sizeof name, "%d%02d%02d_%02d%02d%02d.gpx", day.Year(), day.Month(), day.Day(),
                  startSecond / 3600, startSecond / 60 % 60, startSecond % 60);
    return name;
}

std::string MosaicFileName(const CDayVideo& day, int startSecond) {
    char name[64];
    std::snprintf(name, sizeof name, "%d%02d%02d_%02d%02d%02d_ALL.mp4", day.Year(), day.Month(), day.Day(),
                  startSecond / 3600, startSecond / 60 % 60, startSecond % 60);
    return name;
}

std::string ConvertFilePath(const std::string& folder, const std::string& name) {
    std::string joined = folder + "/" + name;
    std::string path;
    for (char c : joined) {
        if (c == '/' && !path.empty() && path.back() == '/') continue;
        path += c;
    }
    return path;
}

// One row's conversion: the channel's records of the range, and what has
// been written so far.
struct CConvertJob::Channel {
    enum class Written { kNothing, kVideo, kAudio, kFailed };

    Channel(CDayVideo& day, int row, ChannelFile& file, ChannelOutcome& out, int endSecond)
        : day(day), records(day, row, endSecond), file(file), out(out) {}

    void SetVideo(CxFileReader& reader);
    void Track(int64_t ms);
    void AddAlarms();
    Written Write(const CxMemUnit& unit, CxFileReader& reader, std::vector<GpsPoint>* gps);

    CDayVideo& day;
    ChannelReader records;
    ChannelFile& file;
    ChannelOutcome& out;
    bool videoSet = false;
    bool keySeen = false;  // nothing is written ahead of the first key frame
    HiVoiceDecoderState voice;
    int voiceMode = -1;
    std::vector<int16_t> pcm = std::vector<int16_t>(kHiVoiceMaxFrameSamples);
    int frameMs = 40;         // of the file's video
    int64_t lastMs = -1;      // of the last frame written
};

void CConvertJob::Channel::SetVideo(CxFileReader& reader) {
    ChannelFormat f;
    f.hevc = reader.IsHevc() != 0;
    f.width = reader.GetWidth();
    f.height = reader.GetHeight();
    f.frameRate = reader.GetFrameRate();
    f.sound = reader.HasAudio() != 0;
    file.SetVideo(f);
    records.KeepCodec(f.hevc);
    frameMs = f.frameRate > 0 && f.frameRate <= 1000 ? 1000 / f.frameRate : 40;
    videoSet = true;
}

void CConvertJob::Channel::Track(int64_t ms) {
    if (out.firstMs < 0) out.firstMs = ms;
    if (lastMs >= 0 && ms - (lastMs + frameMs) >= 1000) out.gaps.push_back({lastMs + frameMs, ms});
    lastMs = ms;
    out.endMs = std::max(out.endMs, ms + frameMs);
}

// The alarm events of the recordings read that begin inside the span. An
// event entry holds its start in ms from the recording's start, the alarm
// input, and its length in seconds.
void CConvertJob::Channel::AddAlarms() {
    if (out.firstMs < 0) return;
    for (size_t i : records.RecordingsRead()) {
        const CDiskVideo& r = *day.recordings[i];
        for (const EventEntry& e : r.events) {
            const int64_t start = r.startTime * 1000 + e[0];
            if (start < out.firstMs || start >= out.endMs) continue;
            const int64_t stop = std::min<int64_t>(start + int64_t{e[2]} * 1000, out.endMs);
            file.AddAlarm(start, stop, "Alarm " + std::to_string(e[1]) + " " + FormatLocalDateTime(start / 1000));
            out.alarms++;
        }
    }
}

// Video as stored; sound decoded to PCM; GPS fixes kept for the track when
// asked for; other records dropped.
CConvertJob::Channel::Written CConvertJob::Channel::Write(const CxMemUnit& unit, CxFileReader& reader,
                                                          std::vector<GpsPoint>* gps) {
    const RecordHeader h = unit.Header();
    // GPS records are read as the gps command reads them (their length field
    // does not count the payload in every version).
    if (h.Type() == kTypeGps) {
        if (gps && keySeen) {
            if (std::optional<GpsPoint> p = GpsPointOf(reader, unit)) gps->push_back(*p);
        }
        return Written::kNothing;
    }
    // A record whose payload did not fit a unit carries its header only.
    if (h.length > unit.PayloadSize()) return Written::kNothing;
    if (h.Type() == kTypeVideo) {
        if (!keySeen && h.flag != 1) return Written::kNothing;
        keySeen = true;
        if (!videoSet) SetVideo(reader);
        const int64_t ms = records.TimeOf(h, reader);
        Track(ms);
        return file.WriteVideo(unit.Payload(), h.length, h.flag == 1, ms) ? Written::kVideo : Written::kFailed;
    }
    if (h.Type() != kTypeAudio || !keySeen) return Written::kNothing;
    // The playback's table, so a channel sounds in the file as it does when played.
    int mode = VoiceModeForAudioType(reader.GetAudioType());
    if (mode != voiceMode) {
        HI_VOICE_DecReset(&voice, mode);
        voiceMode = mode;
    }
    uint32_t samples = h.length;
    if (HI_VOICE_DecodeFrame(&voice, unit.Payload(), pcm.data(), &samples) != kHiVoiceOk) return Written::kNothing;
    if (samples > kHiVoiceMaxFrameSamples) return Written::kNothing;
    return file.WriteAudio(pcm.data(), samples, records.TimeOf(h, reader)) ? Written::kAudio : Written::kFailed;
}

CConvertJob::CConvertJob(const CDayVideo& day, const ConvertSettings& settings, MessageSink* sink)
    : day_(CopyDay(day)), settings_(settings), sink_(sink), outcomes_(static_cast<size_t>(day.GetChannelCount())) {}

CConvertJob::~CConvertJob() { Stop(); }

bool CConvertJob::Start() {
    if (worker_.joinable()) return false;
    stop = 0;
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        stop = 1;
        return false;
    }
    return true;
}

void CConvertJob::Stop() {
    stop = 1;
    Wait();
}

void CConvertJob::Wait() {
    if (worker_.joinable()) worker_.join();
}

void CConvertJob::Post(uint32_t id, int row, intptr_t value) {
    if (sink_) sink_->Post(id, static_cast<uintptr_t>(row), value);
}

void CConvertJob::Run() {
    // The spans decide which recording holds a moment; a recording not yet
    // measured has none until its length is read.
    for (auto& r : day_->recordings) r->Measure();
    SortRecordings(*day_);
    // The recordings are hashed while the channels convert, each output as
    // soon as it is closed; destroying the hasher joins its thread.
    std::unique_ptr<EvidenceHasher> hasher = settings_.evidence ? std::make_unique<EvidenceHasher>() : nullptr;
    for (int row = 0; hasher && row < RowCount(); ++row) {
        for (const std::string& file :
             ChannelReader::FilesOfRange(*day_, row, settings_.startSecond, settings_.endSecond)) {
            hasher->Add(file);
        }
    }
    if (settings_.mosaic.enabled) {
        mosaic_.path = ConvertFilePath(settings_.folder, MosaicFileName(*day_, settings_.startSecond));
        RunMosaicExport(*day_, settings_, stop, [this](uint32_t id, int row, intptr_t value) { Post(id, row, value); },
                        mosaic_, outcomes_, gps_);
        if (mosaic_.result == ChannelResult::kDone) Post(kMsgEndOfRecording, 0, 100);
        if (hasher) hasher->Add(mosaic_.path);
    } else {
        for (int row = 0; row < RowCount() && !stop; ++row) ConvertRow(row, hasher.get());
    }
    // Also after a stop: the files finished so far are sealed as they are.
    if (hasher) WriteEvidence(*hasher);
    if (!stop) Post(kMsgConvertDone, 0, 0);
}

// An MP4 file gets its index when it is closed, so one whose writing failed
// (a full disk, a file size limit) cannot be played and is removed. Then the
// range is written again up to the last key frame the failed file reached,
// which leaves room for the index: the file that remains plays and is
// sealed in the manifest, and the reason says where it ends.
void CConvertJob::ConvertRow(int row, EvidenceHasher* hasher) {
    ChannelOutcome& out = outcomes_[static_cast<size_t>(row)];
    int lastKey = WriteRow(row, settings_.endSecond);
    const bool failed = out.result == ChannelResult::kWriteFailed || out.result == ChannelResult::kSizeLimit;
    if (failed && settings_.format == ExportFormat::kMp4) {
        const ChannelOutcome failure = out;
        bool kept = false;
        for (int tries = 0; tries < 3 && !kept && !stop && lastKey > settings_.startSecond; ++tries) {
            const int end = lastKey;
            out = ChannelOutcome{};
            lastKey = WriteRow(row, end);
            kept = out.result == ChannelResult::kDone;
        }
        if (kept) {
            out.result = failure.result;
            out.reason = failure.reason + "; the file holds the range up to " + FormatLocalDateTime(out.endMs / 1000);
        } else {
            out = failure;
        }
    }
    if (out.result == ChannelResult::kDone) Post(kMsgEndOfRecording, row, 100);
    if (hasher) hasher->Add(out.path);  // the file is final now
}

// Writes the row's file up to `endSecond`; returns the time of day of the
// last key frame written, -1 before the first.
int CConvertJob::WriteRow(int row, int endSecond) {
    ChannelOutcome& out = outcomes_[static_cast<size_t>(row)];
    out.path = ConvertFilePath(settings_.folder, ConvertFileName(*day_, settings_.startSecond, row, settings_.format));
    std::string error;
    std::unique_ptr<ChannelFile> file = settings_.format == ExportFormat::kMp4
                                            ? CreateMp4ChannelFile(out.path, error)
                                            : CreateAviChannelFile(out.path, settings_.aviSizeLimit, error);
    if (!file) {
        out.result = ChannelResult::kCreateFailed;
        out.reason = error;
        return -1;
    }

    Channel ch(*day_, row, *file, out, endSecond);
    if (CxFileReader* first = ch.records.Position(settings_.startSecond)) ch.SetVideo(*first);
    const auto& recordings = day_->recordings;
    const int progressStart = recordings.empty() ? 0 : recordings.front()->StartSecondOfDay();
    const int progressSpan = recordings.empty() ? 0 : recordings.back()->EndSecondOfDay() - progressStart;
    int lastPercent = -1;
    bool failed = false;
    // The track comes from the first channel that has GPS.
    std::vector<GpsPoint>* gps = gps_.empty() ? &gps_ : nullptr;
    std::unique_ptr<CxMemUnit> unit;
    CxFileReader* reader = nullptr;
    int64_t now = 0;
    int lastKey = -1;
    while (!stop && !failed && ch.records.Next(unit, reader, now)) {
        Channel::Written written = ch.Write(*unit, *reader, gps);
        failed = written == Channel::Written::kFailed;
        if (written != Channel::Written::kVideo) continue;
        if (unit->Header().flag == 1) lastKey = static_cast<int>(now);
        // Posted when the figure changes, which is what the dialog shows.
        int percent = static_cast<int>(std::clamp<int64_t>(
            progressSpan > 0 ? (now - progressStart) * 100 / progressSpan : 0, 0, 100));
        if (percent != lastPercent) {
            lastPercent = percent;
            Post(kMsgConvertProgress, row, percent);
        }
    }
    out.sources = ch.records.Sources();
    out.skippedRecordings = ch.records.SkippedRecordings();

    ch.AddAlarms();
    if (!file->Close()) failed = true;
    out.videoFrames = file->VideoFrames();
    out.audioBytes = file->AudioBytes();
    const bool sizeLimit = file->SizeLimitReached();
    const std::string failure = file->Failure();
    file.reset();

    if (failed) {
        out.result = sizeLimit ? ChannelResult::kSizeLimit : ChannelResult::kWriteFailed;
        out.reason = failure;
    } else if (stop) {
        out.result = ChannelResult::kStopped;
        out.reason = "stopped before the end of the range";
    } else {
        out.result = ChannelResult::kDone;
    }
    return lastKey;
}

// The GPS track and the manifest, beside the channel files.
void CConvertJob::WriteEvidence(EvidenceHasher& hasher) {
    ManifestInput m;
    m.digest = [&hasher](const std::string& path) { return hasher.Digest(path); };
    m.folder = settings_.folder;
    m.date = day_->GetDateText();
    m.startSecond = settings_.startSecond;
    m.endSecond = settings_.endSecond;
    m.format = settings_.format == ExportFormat::kMp4 || settings_.mosaic.enabled ? "mp4" : "avi";
    m.channels = &outcomes_;
    for (const ChannelOutcome& c : outcomes_) {
        std::error_code ec;
        // The rows of a mosaic all name its one file.
        if (c.path.empty() || std::find(m.outputs.begin(), m.outputs.end(), c.path) != m.outputs.end()) continue;
        if (std::filesystem::is_regular_file(c.path, ec)) m.outputs.push_back(c.path);
    }
    if (m.outputs.empty()) return;  // nothing was written to seal

    bool track = std::any_of(gps_.begin(), gps_.end(), [](const GpsPoint& p) { return p.OnTrack(); });
    if (track) {
        std::string path = ConvertFilePath(settings_.folder, GpsFileName(*day_, settings_.startSecond));
        std::string name = day_->recordings.empty() ? std::string() : day_->recordings.front()->description;
        std::string gpx = FormatGpx(gps_, name.empty() ? day_->GetDateText() : name);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        bool ok = f && std::fwrite(gpx.data(), 1, gpx.size(), f) == gpx.size();
        if (f && std::fclose(f) != 0) ok = false;
        if (ok) {
            gpsPath_ = path;
            m.outputs.push_back(path);
        } else {
            evidenceError_ = "cannot write " + path;
        }
    }
    std::string error;
    if (!WriteManifest(m, error) && evidenceError_.empty()) evidenceError_ = error;
}

}  // namespace corvane
