#include "export/convert_job.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "catalogue/local_time.h"
#include "codecs/hi_voice.h"
#include "export/evidence_manifest.h"
#include "playback/sound_output.h"

namespace corvane {
namespace {

static_assert(std::endian::native == std::endian::little, "PCM samples are written as they lie in memory");

// Whole seconds from the reader's first key frame to the last video record
// read. Records ahead of the first key frame count as second 0 rather than
// wrapping around.
int64_t PlayedSeconds(CxFileReader& reader) {
    int64_t ms = static_cast<int64_t>(reader.CurrentTimestamp()) - static_cast<int64_t>(reader.FirstTimestamp());
    return ms > 0 ? ms / 1000 : 0;
}

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

// The file a recording's channel is read from.
std::string SourceFile(const CDiskVideo& r, int row) {
    if (!r.multiPart) return r.filePath;
    return static_cast<size_t>(row) < r.partPaths.size() ? r.partPaths[static_cast<size_t>(row)] : std::string();
}

}  // namespace

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

std::string ConvertFilePath(const std::string& folder, const std::string& name) {
    std::string joined = folder + "/" + name;
    std::string path;
    for (char c : joined) {
        if (c == '/' && !path.empty() && path.back() == '/') continue;
        path += c;
    }
    return path;
}

// One row's conversion: the channel's reader in the current recording, and
// what has been written so far.
struct CConvertJob::Channel {
    enum class Written { kNothing, kVideo, kAudio, kFailed };

    Channel(CDayVideo& day, int row, ChannelFile& file, ChannelOutcome& out, int endSecond)
        : day(day), row(row), file(file), out(out), end(endSecond) {}

    CDiskVideo* Current() const { return recording >= 0 ? day.recordings[static_cast<size_t>(recording)].get() : nullptr; }
    CxFileReader* ReaderOf(CDiskVideo& r) const {
        return static_cast<size_t>(row) < r.readers.size() ? r.readers[static_cast<size_t>(row)].get() : nullptr;
    }
    void Position(int startSecond);
    bool Advance(uint32_t& skipped);
    void SetVideo(CxFileReader& reader);
    void Entered(const CDiskVideo& r);
    int64_t TimeOf(const RecordHeader& h, CxFileReader& reader) const;
    void Track(int64_t ms);
    void AddAlarms();
    Written Write(const CxMemUnit& unit, CxFileReader& reader, std::vector<GpsPoint>* gps);

    CDayVideo& day;
    const int row;
    ChannelFile& file;
    ChannelOutcome& out;
    const int end;         // second of the day where the range ends
    int recording = -1;    // index into the day's recordings; -1: none (left)
    bool videoSet = false;
    bool hevc = false;     // the codec of the file's video stream, once set
    bool keySeen = false;  // nothing is written ahead of the first key frame
    HiVoiceDecoderState voice;
    int voiceMode = -1;
    std::vector<int16_t> pcm = std::vector<int16_t>(kHiVoiceMaxFrameSamples);
    int frameMs = 40;         // of the file's video
    int64_t lastMs = -1;      // of the last frame written
    std::vector<size_t> read;  // the recordings read, by index
};

// The recording that holds the start time, sought there; else the first one
// that begins after it, read from its beginning.
void CConvertJob::Channel::Position(int startSecond) {
    const int64_t t = MakeLocalTime(
        {day.Year(), day.Month(), day.Day(), startSecond / 3600, startSecond / 60 % 60, startSecond % 60});
    const int count = static_cast<int>(day.recordings.size());
    for (int i = 0; i < count && recording < 0; ++i) {
        CDiskVideo& r = *day.recordings[static_cast<size_t>(i)];
        if (r.startTime <= t && t <= r.endTime) {
            recording = i;
            r.OpenReaders();
            // Fresh readers stand at the start of their data already; seeking
            // to second 0 would only trust the index (or, without one, an
            // estimate) for what is known.
            CxFileReader* reader = ReaderOf(r);
            if (reader && t > r.startTime) reader->SeekToSecond(static_cast<int>(t - r.startTime));
        }
    }
    for (int i = 0; i < count && recording < 0; ++i) {
        if (day.recordings[static_cast<size_t>(i)]->startTime > t) {
            recording = i;
            day.recordings[static_cast<size_t>(i)]->OpenReaders();
        }
    }
    if (CDiskVideo* r = Current()) {
        if (CxFileReader* reader = ReaderOf(*r)) {
            SetVideo(*reader);
            Entered(*r);
        }
    }
}

// The current recording is over for this channel: goes on with the next one
// that begins inside the range, skipping recordings without this channel (or
// without anything readable, at the next read). A file's video stream has one
// codec, so recordings in the other codec are left out and counted rather
// than written under the wrong name. False when none is left.
bool CConvertJob::Channel::Advance(uint32_t& skipped) {
    if (CDiskVideo* r = Current()) r->ReleaseReaders();
    const int count = static_cast<int>(day.recordings.size());
    for (int next = recording + 1; next < count; ++next) {
        CDiskVideo& r = *day.recordings[static_cast<size_t>(next)];
        if (r.StartSecondOfDay() >= end) break;
        r.OpenReaders();
        CxFileReader* candidate = ReaderOf(r);
        if (candidate && videoSet && (candidate->IsHevc() != 0) != hevc) {
            skipped++;
            candidate = nullptr;
        }
        if (candidate) {
            recording = next;
            Entered(r);
            return true;
        }
        r.ReleaseReaders();
    }
    recording = -1;
    return false;
}

void CConvertJob::Channel::SetVideo(CxFileReader& reader) {
    hevc = reader.IsHevc() != 0;
    ChannelFormat f;
    f.hevc = hevc;
    f.width = reader.GetWidth();
    f.height = reader.GetHeight();
    f.frameRate = reader.GetFrameRate();
    f.sound = reader.HasAudio() != 0;
    file.SetVideo(f);
    frameMs = f.frameRate > 0 && f.frameRate <= 1000 ? 1000 / f.frameRate : 40;
    videoSet = true;
}

void CConvertJob::Channel::Entered(const CDiskVideo& r) {
    read.push_back(static_cast<size_t>(recording));
    std::string source = SourceFile(r, row);
    if (!source.empty() && std::find(out.sources.begin(), out.sources.end(), source) == out.sources.end()) {
        out.sources.push_back(source);
    }
}

// The recording's start (local time from its name) plus the record's offset
// from the recording's first record.
int64_t CConvertJob::Channel::TimeOf(const RecordHeader& h, CxFileReader& reader) const {
    const CDiskVideo* r = Current();
    const int64_t offset = static_cast<int64_t>(h.timestamp) - static_cast<int64_t>(reader.FirstTimestamp());
    return (r ? r->startTime * 1000 : 0) + offset;
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
    std::sort(read.begin(), read.end());
    read.erase(std::unique(read.begin(), read.end()), read.end());
    for (size_t i : read) {
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
        const int64_t ms = TimeOf(h, reader);
        Track(ms);
        return file.WriteVideo(unit.Payload(), h.length, h.flag == 1, ms) ? Written::kVideo : Written::kFailed;
    }
    if (h.Type() != kTypeAudio || !keySeen) return Written::kNothing;
    // The playback's table, so a channel sounds in the file as it does when played.
    int mode = SpeechDecoders::ResetModeFor(reader.GetAudioType());
    if (mode != voiceMode) {
        HI_VOICE_DecReset(&voice, mode);
        voiceMode = mode;
    }
    uint32_t samples = h.length;
    if (HI_VOICE_DecodeFrame(&voice, unit.Payload(), pcm.data(), &samples) != kHiVoiceOk) return Written::kNothing;
    if (samples > kHiVoiceMaxFrameSamples) return Written::kNothing;
    return file.WriteAudio(pcm.data(), samples, TimeOf(h, reader)) ? Written::kAudio : Written::kFailed;
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
    for (int row = 0; row < RowCount() && !stop; ++row) ConvertRow(row);
    // Also after a stop: the files finished so far are sealed as they are.
    WriteEvidence();
    if (!stop) Post(kMsgConvertDone, 0, 0);
}

void CConvertJob::ConvertRow(int row) {
    ChannelOutcome& out = outcomes_[static_cast<size_t>(row)];
    out.path = ConvertFilePath(settings_.folder, ConvertFileName(*day_, settings_.startSecond, row, settings_.format));
    std::string error;
    std::unique_ptr<ChannelFile> file = settings_.format == ExportFormat::kMp4
                                            ? CreateMp4ChannelFile(out.path, error)
                                            : CreateAviChannelFile(out.path, settings_.aviSizeLimit, error);
    if (!file) {
        out.result = ChannelResult::kCreateFailed;
        out.reason = error;
        return;
    }

    Channel ch(*day_, row, *file, out, settings_.endSecond);
    ch.Position(settings_.startSecond);
    const auto& recordings = day_->recordings;
    const int progressStart = recordings.empty() ? 0 : recordings.front()->StartSecondOfDay();
    const int progressSpan = recordings.empty() ? 0 : recordings.back()->EndSecondOfDay() - progressStart;
    int lastPercent = -1;
    bool failed = false;
    // The track comes from the first channel that has GPS.
    std::vector<GpsPoint>* gps = gps_.empty() ? &gps_ : nullptr;
    while (!stop && !failed) {
        CDiskVideo* rec = ch.Current();
        if (!rec) break;
        CxFileReader* reader = ch.ReaderOf(*rec);
        const int64_t now = rec->StartSecondOfDay() + (reader ? PlayedSeconds(*reader) : 0);
        if (now >= settings_.endSecond) break;
        std::unique_ptr<CxMemUnit> unit;
        if (!reader || !reader->ReadFrame(0, unit, 0) || !unit) {
            ch.Advance(out.skippedRecordings);
            continue;
        }
        // Frames of a hidden stream are not exported.
        if (!rec->readers.empty() && rec->readers.front()->HiddenStream) continue;
        Channel::Written written = ch.Write(*unit, *reader, gps);
        failed = written == Channel::Written::kFailed;
        if (written != Channel::Written::kVideo) continue;
        // Posted when the figure changes, which is what the dialog shows.
        int percent = static_cast<int>(std::clamp<int64_t>(
            progressSpan > 0 ? (now - progressStart) * 100 / progressSpan : 0, 0, 100));
        if (percent != lastPercent) {
            lastPercent = percent;
            Post(kMsgConvertProgress, row, percent);
        }
    }
    if (CDiskVideo* rec = ch.Current()) rec->ReleaseReaders();

    ch.AddAlarms();
    if (!file->Close()) failed = true;
    out.videoFrames = file->VideoFrames();
    out.audioBytes = file->AudioBytes();

    if (failed) {
        out.result = file->SizeLimitReached() ? ChannelResult::kSizeLimit : ChannelResult::kWriteFailed;
        out.reason = file->Failure();
    } else if (stop) {
        out.result = ChannelResult::kStopped;
        out.reason = "stopped before the end of the range";
    } else {
        out.result = ChannelResult::kDone;
        Post(kMsgEndOfRecording, row, 100);
    }
}

// The GPS track and the manifest, beside the channel files.
void CConvertJob::WriteEvidence() {
    ManifestInput m;
    m.folder = settings_.folder;
    m.date = day_->GetDateText();
    m.startSecond = settings_.startSecond;
    m.endSecond = settings_.endSecond;
    m.format = settings_.format == ExportFormat::kMp4 ? "mp4" : "avi";
    m.channels = &outcomes_;
    for (const ChannelOutcome& c : outcomes_) {
        std::error_code ec;
        if (!c.path.empty() && std::filesystem::is_regular_file(c.path, ec)) m.outputs.push_back(c.path);
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
