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

// What one row keeps while it converts.
struct CConvertJob::Channel {
    int row = 0;
    AviWriter* avi = nullptr;
    int recording = -1;  // index into the job's recordings; -1: none left
    bool videoSet = false;
    bool hevc = false;  // the codec of the file's video stream, once set
    bool keySeen = false;  // nothing is written ahead of the first key frame
    HiVoiceDecoderState voice;
    int voiceMode = -1;
    int lastPercent = -1;
    std::vector<int16_t> pcm = std::vector<int16_t>(kHiVoiceMaxFrameSamples);
};

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

    auto& recordings = day_->recordings;
    const int count = static_cast<int>(recordings.size());
    const int start = settings_.startSecond, end = settings_.endSecond;
    auto readerOf = [row](CDiskVideo& r) -> CxFileReader* {
        return static_cast<size_t>(row) < r.readers.size() ? r.readers[static_cast<size_t>(row)].get() : nullptr;
    };

    // Position: the recording that holds the start time, sought there; else
    // the first one that begins after it, read from its beginning.
    Channel ch;
    ch.row = row;
    ch.avi = avi.get();
    const int64_t t = MakeLocalTime({day_->Year(), day_->Month(), day_->Day(), start / 3600, start / 60 % 60, start % 60});
    for (int i = 0; i < count && ch.recording < 0; ++i) {
        CDiskVideo& r = *recordings[static_cast<size_t>(i)];
        if (r.startTime <= t && t <= r.endTime) {
            ch.recording = i;
            r.OpenReaders();
            // Fresh readers stand at the start of their data already; seeking
            // to second 0 would only trust the index (or, without one, an
            // estimate) for what is known.
            CxFileReader* reader = readerOf(r);
            if (reader && t > r.startTime) reader->SeekToSecond(static_cast<int>(t - r.startTime));
        }
    }
    for (int i = 0; i < count && ch.recording < 0; ++i) {
        if (recordings[static_cast<size_t>(i)]->startTime > t) {
            ch.recording = i;
            recordings[static_cast<size_t>(i)]->OpenReaders();
        }
    }
    auto setVideo = [&](CxFileReader& reader) {
        ch.hevc = reader.IsHevc() != 0;
        AVI_set_video(avi.get(), reader.GetWidth(), reader.GetHeight(), reader.GetFrameRate(), ch.hevc ? "HEVC" : "H264");
        ch.videoSet = true;
    };
    if (ch.recording >= 0) {
        if (CxFileReader* reader = readerOf(*recordings[static_cast<size_t>(ch.recording)])) setVideo(*reader);
    }

    const int progressStart = count ? recordings.front()->StartSecondOfDay() : 0;
    const int progressEnd = count ? recordings.back()->EndSecondOfDay() : 0;

    bool failed = false;
    while (!stop && ch.recording >= 0 && !failed) {
        CDiskVideo* rec = recordings[static_cast<size_t>(ch.recording)].get();
        CxFileReader* reader = readerOf(*rec);
        const int64_t now = rec->StartSecondOfDay() + (reader ? PlayedSeconds(*reader) : 0);
        if (now >= end) break;

        std::unique_ptr<CxMemUnit> unit;
        if (!reader || !reader->ReadFrame(0, unit, 0) || !unit) {
            // This recording is over for the channel: go on with the next one
            // that begins inside the range, skipping recordings without this
            // channel or without anything readable. A file's video stream has
            // one codec, so recordings in the other codec are left out (and
            // counted) rather than written under the wrong name.
            rec->ReleaseReaders();
            const int from = ch.recording;
            ch.recording = -1;
            for (int next = from + 1; next < count && ch.recording < 0; ++next) {
                CDiskVideo& r = *recordings[static_cast<size_t>(next)];
                if (r.StartSecondOfDay() >= end) break;
                r.OpenReaders();
                CxFileReader* candidate = readerOf(r);
                if (candidate && ch.videoSet && (candidate->IsHevc() != 0) != ch.hevc) {
                    out.skippedRecordings++;
                    candidate = nullptr;
                }
                if (candidate) {
                    ch.recording = next;
                } else {
                    r.ReleaseReaders();
                }
            }
            continue;
        }

        // Frames of a hidden stream are not exported.
        if (!rec->readers.empty() && rec->readers.front()->HiddenStream) continue;
        const RecordHeader h = unit->Header();
        // A record whose payload did not fit a unit carries its header only.
        if (h.length > unit->PayloadSize()) continue;
        if (h.Type() == kTypeVideo) {
            if (!ch.keySeen && h.flag != 1) continue;
            ch.keySeen = true;
            if (!ch.videoSet) setVideo(*reader);
            if (AVI_write_frame(avi.get(), unit->Payload(), h.length) != 0) {
                failed = true;
                break;
            }
            int span = progressEnd - progressStart;
            int64_t percent = span > 0 ? (now - progressStart) * 100 / span : 0;
            percent = std::clamp<int64_t>(percent, 0, 100);
            if (percent != ch.lastPercent) {
                ch.lastPercent = static_cast<int>(percent);
                Post(kMsgConvertProgress, row, static_cast<intptr_t>(percent));
            }
        } else if (h.Type() == kTypeAudio && ch.keySeen) {
            // The playback's table, so a channel sounds in the file as it does when played.
            int mode = SpeechDecoders::ResetModeFor(reader->GetAudioType());
            if (mode != ch.voiceMode) {
                HI_VOICE_DecReset(&ch.voice, mode);
                ch.voiceMode = mode;
            }
            uint32_t samples = h.length;
            if (HI_VOICE_DecodeFrame(&ch.voice, unit->Payload(), ch.pcm.data(), &samples) != kHiVoiceOk) continue;
            if (samples > kHiVoiceMaxFrameSamples) continue;
            if (AVI_write_audio(avi.get(), ch.pcm.data(), samples * 2) != 0) {
                failed = true;
                break;
            }
        }
    }
    int writeError = failed ? AVI_last_error() : kAviErrNone;
    if (ch.recording >= 0) recordings[static_cast<size_t>(ch.recording)]->ReleaseReaders();

    if (!ch.videoSet) AVI_set_video(avi.get(), 0, 0, 0, "H264");  // no reader of this channel in the range
    int closeResult = AVI_close_output_file(avi.get());
    out.videoFrames = static_cast<uint32_t>(avi->videoFrames);
    out.audioBytes = static_cast<uint32_t>(avi->audioBytes);
    if (!failed && closeResult != 0) {
        failed = true;
        writeError = AVI_last_error();
    }
    avi.reset();

    if (failed) {
        out.result = writeError == kAviErrSizeLimit ? ChannelResult::kSizeLimit : ChannelResult::kWriteFailed;
        out.reason = AVI_error_text(writeError);
        return;
    }
    if (stop) {
        out.result = ChannelResult::kStopped;
        out.reason = "stopped before the end of the range";
        return;
    }
    out.result = ChannelResult::kDone;
    Post(kMsgEndOfRecording, row, 100);
}

}  // namespace corvane
