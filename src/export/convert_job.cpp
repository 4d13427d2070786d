#include "export/convert_job.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "catalogue/local_time.h"
#include "codecs/hi_voice.h"
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

std::string ErrnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

}  // namespace

std::string ConvertFileName(const CDayVideo& day, int startSecond, int row) {
    char name[96];
    std::snprintf(name, sizeof name, "%d%02d%02d_%02d%02d%02d_CH%d.AVI", day.Year(), day.Month(), day.Day(),
                  startSecond / 3600, startSecond / 60 % 60, startSecond % 60, row + 1);
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

    Channel(CDayVideo& day, int row, AviWriter& avi, int endSecond) : day(day), row(row), avi(avi), end(endSecond) {}

    CDiskVideo* Current() const { return recording >= 0 ? day.recordings[static_cast<size_t>(recording)].get() : nullptr; }
    CxFileReader* ReaderOf(CDiskVideo& r) const {
        return static_cast<size_t>(row) < r.readers.size() ? r.readers[static_cast<size_t>(row)].get() : nullptr;
    }
    void Position(int startSecond);
    bool Advance(uint32_t& skipped);
    void SetVideo(CxFileReader& reader);
    Written Write(const CxMemUnit& unit, CxFileReader& reader);

    CDayVideo& day;
    const int row;
    AviWriter& avi;
    const int end;         // second of the day where the range ends
    int recording = -1;    // index into the day's recordings; -1: none (left)
    bool videoSet = false;
    bool hevc = false;     // the codec of the file's video stream, once set
    bool keySeen = false;  // nothing is written ahead of the first key frame
    HiVoiceDecoderState voice;
    int voiceMode = -1;
    std::vector<int16_t> pcm = std::vector<int16_t>(kHiVoiceMaxFrameSamples);
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
        if (CxFileReader* reader = ReaderOf(*r)) SetVideo(*reader);
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
            return true;
        }
        r.ReleaseReaders();
    }
    recording = -1;
    return false;
}

void CConvertJob::Channel::SetVideo(CxFileReader& reader) {
    hevc = reader.IsHevc() != 0;
    AVI_set_video(&avi, reader.GetWidth(), reader.GetHeight(), reader.GetFrameRate(), hevc ? "HEVC" : "H264");
    videoSet = true;
}

// Video as stored; sound decoded to PCM; other records dropped.
CConvertJob::Channel::Written CConvertJob::Channel::Write(const CxMemUnit& unit, CxFileReader& reader) {
    const RecordHeader h = unit.Header();
    // A record whose payload did not fit a unit carries its header only.
    if (h.length > unit.PayloadSize()) return Written::kNothing;
    if (h.Type() == kTypeVideo) {
        if (!keySeen && h.flag != 1) return Written::kNothing;
        keySeen = true;
        if (!videoSet) SetVideo(reader);
        return AVI_write_frame(&avi, unit.Payload(), h.length) == 0 ? Written::kVideo : Written::kFailed;
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
    return AVI_write_audio(&avi, pcm.data(), samples * 2) == 0 ? Written::kAudio : Written::kFailed;
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
    if (!stop) Post(kMsgConvertDone, 0, 0);
}

void CConvertJob::ConvertRow(int row) {
    ChannelOutcome& out = outcomes_[static_cast<size_t>(row)];
    out.path = ConvertFilePath(settings_.folder, ConvertFileName(*day_, settings_.startSecond, row));
    std::unique_ptr<AviWriter> avi = AVI_open_output_file(out.path);
    if (!avi) {
        int error = errno;
        out.result = ChannelResult::kCreateFailed;
        out.reason = "cannot create the file: " + ErrnoText(error);
        return;
    }
    avi->sizeLimit = settings_.aviSizeLimit;
    AVI_set_audio(avi.get(), 1, 8000, 16, 1);

    Channel ch(*day_, row, *avi, settings_.endSecond);
    ch.Position(settings_.startSecond);
    const auto& recordings = day_->recordings;
    const int progressStart = recordings.empty() ? 0 : recordings.front()->StartSecondOfDay();
    const int progressSpan = recordings.empty() ? 0 : recordings.back()->EndSecondOfDay() - progressStart;
    int lastPercent = -1;
    bool failed = false;
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
        Channel::Written written = ch.Write(*unit, *reader);
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
    int writeError = failed ? AVI_last_error() : kAviErrNone;
    if (CDiskVideo* rec = ch.Current()) rec->ReleaseReaders();

    if (!ch.videoSet) AVI_set_video(avi.get(), 0, 0, 0, "H264");  // no reader of this channel in the range
    if (AVI_close_output_file(avi.get()) != 0 && !failed) {
        failed = true;
        writeError = AVI_last_error();
    }
    out.videoFrames = static_cast<uint32_t>(avi->videoFrames);
    out.audioBytes = static_cast<uint32_t>(avi->audioBytes);
    avi.reset();

    if (failed) {
        out.result = writeError == kAviErrSizeLimit ? ChannelResult::kSizeLimit : ChannelResult::kWriteFailed;
        out.reason = AVI_error_text(writeError);
    } else if (stop) {
        out.result = ChannelResult::kStopped;
        out.reason = "stopped before the end of the range";
    } else {
        out.result = ChannelResult::kDone;
        Post(kMsgEndOfRecording, row, 100);
    }
}

}  // namespace corvane
