#include "export/mosaic_export.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "catalogue/local_time.h"
#include "codecs/hi_voice.h"
#include "codecs/voice_format.h"
#include "export/channel_reader.h"
#include "export/mosaic_decoder.h"
#include "export/mosaic_encoder.h"
#include "export/mosaic_graph.h"
#include "export/mp4_writer.h"

namespace corvane {
namespace {

constexpr int kSoundRate = 8000;
// A cell whose newest picture is older than this at a frame's time shows
// black: the channel has no recording around that moment.
constexpr int64_t kStaleMs = 1000;
// Speed and position are shown while the newest fix is at most this old.
constexpr int64_t kFixShownMs = 5000;
// The cell size when neither the settings nor the recordings give one.
constexpr int kFallbackWidth = 704, kFallbackHeight = 576;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

// One channel's records, read as far as the output frames have got. Each
// channel reads its own copy of the day: the readers of a recording are
// opened and released together, for all its channels at once.
struct Source {
    Source(const CDayVideo& day, int row, int endSecond, ChannelOutcome& out)
        : copy(CopyDay(day)), records(*copy, row, endSecond), out(out) {}

    // The next record, held until it is used; false at the end of the range.
    bool Peek() {
        if (held) return true;
        if (ended) return false;
        int64_t second = 0;
        if (!records.Next(unit, reader, second)) {
            ended = true;
            return false;
        }
        unitMs = records.TimeOf(unit->Header(), *reader);
        held = true;
        return true;
    }

    void Track(int64_t ms) {
        if (out.firstMs < 0) out.firstMs = ms;
        if (lastMs >= 0 && ms - (lastMs + frameMs) >= 1000) out.gaps.push_back({lastMs + frameMs, ms});
        lastMs = ms;
        out.endMs = std::max(out.endMs, ms + frameMs);
    }

    std::unique_ptr<CDayVideo> copy;
    ChannelReader records;
    ChannelOutcome& out;
    ChannelDecoder decoder;
    std::unique_ptr<CxMemUnit> unit;
    CxFileReader* reader = nullptr;  // the reader `unit` came from
    int64_t unitMs = 0;
    bool held = false;  // `unit` holds a record not used yet
    bool ended = false;
    bool keySeen = false;
    int frameMs = 40;
    int64_t lastMs = -1;  // of the last picture read
    HiVoiceDecoderState voice;
    int voiceMode = -1;
    std::vector<GpsPoint> gps;
    // Per source file, in the order first met: access units that did not
    // decode, and whether its codec could not be opened at all.
    struct Damage {
        std::string file;
        uint32_t errors = 0;
        bool unusable = false;
    };
    std::vector<Damage> damage;

    void NoteDamage(uint32_t errorsBefore) {
        const uint32_t errors = decoder.Errors() - errorsBefore;
        if (!errors && !decoder.Unusable()) return;
        const std::string file = records.CurrentFile();
        auto d = std::find_if(damage.begin(), damage.end(), [&](const Damage& x) { return x.file == file; });
        if (d == damage.end()) d = damage.insert(damage.end(), Damage{file});
        d->errors += errors;
        d->unusable = d->unusable || decoder.Unusable();
    }

    // "FILE: 3 access units did not decode; FILE2: its video cannot be decoded"
    std::string DamageText() const {
        std::string text;
        for (const Damage& d : damage) {
            if (!text.empty()) text += "; ";
            text += d.file + (d.unusable ? ": its video cannot be decoded"
                                         : ": " + std::to_string(d.errors) + " access unit(s) did not decode");
        }
        return text;
    }
};

// The channel's newest picture when it is at most kStaleMs older than `t`.
const AVFrame* FreshPicture(const Source& s, int64_t t) {
    const AVFrame* picture = s.decoder.Picture();
    const int64_t age = t - s.decoder.PictureMs();
    return picture && age >= 0 && age <= kStaleMs ? picture : nullptr;
}

std::string FixText(const GpsPoint& p) {
    char text[96];
    std::snprintf(text, sizeof text, "   %.1f km/h   %.5f %c  %.5f %c", static_cast<double>(p.fix.speed),
                  std::fabs(*p.latitude), *p.latitude < 0 ? 'S' : 'N', std::fabs(*p.longitude),
                  *p.longitude < 0 ? 'W' : 'E');
    return text;
}

class MosaicRun {
public:
    MosaicRun(CDayVideo& day, const ConvertSettings& settings, const std::atomic<int32_t>& stop,
              const PostFunction& post, ChannelOutcome& mosaic, std::vector<ChannelOutcome>& channels)
        : day_(day), settings_(settings), stop_(stop), post_(post), mosaic_(mosaic), channels_(channels) {}
    ~MosaicRun() { av_frame_free(&composed_); }

    void Run(std::vector<GpsPoint>& gps);

private:
    bool Prepare();
    bool CreateOutput(std::string& error);
    void Fill(int64_t t);
    void Use(Source& s);
    void Sound(Source& s, const RecordHeader& h);
    std::string Text(int64_t t) const;
    int64_t SecondsOfDayMs(int second) const;
    int64_t NextBusyFrame(int64_t index, int64_t t) const;
    bool ComposeRange(int64_t rangeEnd, int64_t seconds, int64_t& index);
    void Report(int64_t done, int64_t seconds);
    void CloseFile(bool failed, int64_t index, int64_t seconds);
    bool Compose(int64_t index);
    bool Drain();
    std::string Failure() const;
    void Finish(bool failed, const std::string& reason);

    CDayVideo& day_;
    const ConvertSettings& settings_;
    const std::atomic<int32_t>& stop_;
    const PostFunction& post_;
    ChannelOutcome& mosaic_;
    std::vector<ChannelOutcome>& channels_;

    std::vector<std::unique_ptr<Source>> sources_;
    int soundRow_ = -1;
    int frameRate_ = 25;
    int cellWidth_ = 0, cellHeight_ = 0;
    int64_t origin_ = -1;  // ms of the first output frame
    std::unique_ptr<Mp4Writer> writer_;
    std::unique_ptr<MosaicEncoder> encoder_;
    std::unique_ptr<MosaicGraph> graph_;
    int stream_ = -1;
    bool sound_ = false;  // the file has a sound stream
    std::vector<int16_t> pcm_ = std::vector<int16_t>(kHiVoiceMaxFrameSamples);
    AVFrame* composed_ = av_frame_alloc();
    std::optional<GpsPoint> fix_;  // the newest on-track fix read, and when
    int64_t fixMs_ = 0;
    int64_t reported_ = 0;  // seconds of the span reported
};

// The channels placed at the range's start, the frame rate, the cell size
// and the sound's channel; and the first output frame's time: the earliest
// record any channel holds.
bool MosaicRun::Prepare() {
    // The grid has at most 9 cells; further channels are not read.
    const int rows = std::min(static_cast<int>(channels_.size()), kMaxMosaicCells);
    const int requested = settings_.mosaic.audioRow;
    bool rateSet = false;
    for (int row = 0; row < rows; ++row) {
        channels_[static_cast<size_t>(row)].path = mosaic_.path;
        auto s = std::make_unique<Source>(day_, row, settings_.endSecond, channels_[static_cast<size_t>(row)]);
        if (CxFileReader* r = s->records.Position(settings_.startSecond)) {
            const int fps = r->GetFrameRate();
            const bool valid = fps > 0 && fps <= 120;
            if (valid) s->frameMs = 1000 / fps;
            if (valid && !rateSet) {
                frameRate_ = fps;
                rateSet = true;
            }
            if (cellWidth_ <= 0 && r->GetWidth() > 0 && r->GetHeight() > 0) {
                cellWidth_ = r->GetWidth();
                cellHeight_ = r->GetHeight();
            }
            if (r->HasAudio() && (requested == row || (requested < 0 && soundRow_ < 0))) soundRow_ = row;
        }
        sources_.push_back(std::move(s));
    }
    if (settings_.mosaic.cellWidth > 0 && settings_.mosaic.cellHeight > 0) {
        cellWidth_ = settings_.mosaic.cellWidth;
        cellHeight_ = settings_.mosaic.cellHeight;
    }
    if (cellWidth_ <= 0) {
        cellWidth_ = kFallbackWidth;
        cellHeight_ = kFallbackHeight;
    }
    // 4:2:0 pictures have even sizes.
    cellWidth_ = std::clamp(cellWidth_ & ~1, 16, 4096);
    cellHeight_ = std::clamp(cellHeight_ & ~1, 16, 4096);
    for (auto& s : sources_) {
        if (s->Peek() && (origin_ < 0 || s->unitMs < origin_)) origin_ = s->unitMs;
    }
    if (origin_ < 0) return false;
    // A channel sought to the key frame before the start is read from there,
    // but the mosaic begins at the start.
    origin_ = std::max(origin_, SecondsOfDayMs(settings_.startSecond));
    return true;
}

int64_t MosaicRun::SecondsOfDayMs(int second) const {
    return MakeLocalTime({day_.Year(), day_.Month(), day_.Day(), second / 3600, second / 60 % 60, second % 60}) * 1000;
}

// The first frame worth composing after `index` when no channel has a
// picture to show at frame `index` and none has a record before the next
// second: the frame of the earliest record still to come (-1: none). A
// stretch without any recording stays a gap in the file's times rather than
// black frames.
int64_t MosaicRun::NextBusyFrame(int64_t index, int64_t t) const {
    int64_t next = -1;
    for (const auto& s : sources_) {
        if (FreshPicture(*s, t)) return index;
        if (s->held) {
            if (s->unitMs <= t + kStaleMs) return index;
            next = next < 0 ? s->unitMs : std::min(next, s->unitMs);
        }
    }
    if (next < 0) return -1;
    return (next - origin_) * frameRate_ / 1000;
}

bool MosaicRun::CreateOutput(std::string& error) {
    // libx264 reports its settings at the info level; only errors belong on
    // a command line's standard error.
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
    MosaicLayout layout;
    layout.columns = MosaicColumns(static_cast<int>(sources_.size()));
    layout.cellWidth = cellWidth_;
    layout.cellHeight = cellHeight_;
    layout.frameRate = frameRate_;
    for (size_t row = 0; row < sources_.size(); ++row) layout.labels.push_back("CH" + std::to_string(row + 1));
    graph_ = MosaicGraph::Create(layout, error);
    if (!graph_) return false;

    H264Settings h264;
    h264.width = graph_->Width();
    h264.height = graph_->Height();
    h264.frameRate = frameRate_;
    h264.crf = settings_.mosaic.crf;
    h264.preset = settings_.mosaic.preset;
    encoder_ = MosaicEncoder::Open(h264, error);
    if (!encoder_) return false;

    writer_ = Mp4Writer::Create(mosaic_.path, error);
    if (!writer_) return false;
    stream_ = writer_->AddEncodedVideo(encoder_->Context());
    if (stream_ < 0) {
        error = "cannot set up the video stream";
        return false;
    }
    if (soundRow_ >= 0) {
        sound_ = writer_->AddAudio(kSoundRate);
        if (!sound_) {
            error = writer_->Error();
            return false;
        }
    }
    // The recorder's clock is local time; it is stored as it reads.
    writer_->SetCreationTime(FloorDiv(origin_, 1000));
    return true;
}

// Reads every channel up to the frame's time `t`.
void MosaicRun::Fill(int64_t t) {
    for (auto& s : sources_) {
        while (s->Peek() && s->unitMs <= t) {
            Use(*s);
            s->held = false;
        }
    }
}

void MosaicRun::Use(Source& s) {
    const RecordHeader h = s.unit->Header();
    if (h.Type() == kTypeGps) {
        if (!s.keySeen) return;
        if (std::optional<GpsPoint> p = GpsPointOf(*s.reader, *s.unit)) {
            s.gps.push_back(*p);
            if (p->OnTrack()) {
                fix_ = *p;
                fixMs_ = s.unitMs;
            }
        }
        return;
    }
    // A record whose payload did not fit a unit carries its header only.
    if (h.length > s.unit->PayloadSize()) return;
    if (h.Type() == kTypeVideo) {
        if (!s.keySeen && h.flag != 1) return;
        s.keySeen = true;
        s.Track(s.unitMs);
        s.out.videoFrames++;
        const uint32_t errors = s.decoder.Errors();
        s.decoder.Decode(s.unit->Payload(), h.length, h.flag == 1, s.reader->IsHevc() != 0, s.unitMs);
        s.NoteDamage(errors);
        return;
    }
    if (h.Type() == kTypeAudio && sound_ && s.records.Row() == soundRow_ && s.unitMs >= origin_) Sound(s, h);
}

void MosaicRun::Sound(Source& s, const RecordHeader& h) {
    // The playback's table, so the channel sounds as it does when played.
    const int mode = VoiceModeForAudioType(s.reader->GetAudioType());
    if (mode != s.voiceMode) {
        HI_VOICE_DecReset(&s.voice, mode);
        s.voiceMode = mode;
    }
    uint32_t samples = h.length;
    if (HI_VOICE_DecodeFrame(&s.voice, s.unit->Payload(), pcm_.data(), &samples) != kHiVoiceOk) return;
    if (samples > kHiVoiceMaxFrameSamples) return;
    if (writer_->WriteAudio(pcm_.data(), samples, s.unitMs - origin_)) {
        s.out.audioBytes += samples * 2;
        mosaic_.audioBytes += samples * 2;
    }
}

std::string MosaicRun::Text(int64_t t) const {
    std::string text = FormatLocalDateTime(FloorDiv(t, 1000));
    if (fix_ && t - fixMs_ <= kFixShownMs) text += FixText(*fix_);
    return text;
}

// Output frame `index`: each cell's newest picture, or black.
bool MosaicRun::Compose(int64_t index) {
    const int64_t t = origin_ + index * 1000 / frameRate_;
    std::vector<const AVFrame*> cells;
    for (auto& s : sources_) cells.push_back(FreshPicture(*s, t));
    return graph_->Push(cells, index) && Drain();
}

// Encodes the composed frames that are ready.
bool MosaicRun::Drain() {
    for (;;) {
        int r = graph_->Pull(composed_);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return false;
        bool ok = encoder_->Encode(composed_, *writer_, stream_);
        av_frame_unref(composed_);
        if (!ok) return false;
    }
}

std::string MosaicRun::Failure() const {
    if (!encoder_->Error().empty()) return encoder_->Error();
    if (!writer_->Error().empty()) return writer_->Error();
    return "the mosaic's filters failed";
}

void MosaicRun::Run(std::vector<GpsPoint>& gps) {
    if (!composed_) {
        Finish(true, "out of memory");
        return;
    }
    if (!Prepare()) {
        Finish(true, "no video in the range");
        return;
    }
    std::string error;
    if (!CreateOutput(error)) {
        mosaic_.result = ChannelResult::kCreateFailed;
        mosaic_.reason = error;
        // A file made before the streams failed holds nothing.
        if (writer_) {
            writer_.reset();
            std::error_code ec;
            std::filesystem::remove(mosaic_.path, ec);
        }
        return;
    }
    const int64_t rangeEnd = SecondsOfDayMs(settings_.endSecond);
    const int64_t seconds = std::max<int64_t>(1, (rangeEnd - origin_ + 999) / 1000);
    int64_t index = 0;  // the first frame not composed
    const bool failed = ComposeRange(rangeEnd, seconds, index);
    CloseFile(failed, index, seconds);
    for (auto& s : sources_) {
        if (!s->gps.empty()) {
            gps = s->gps;
            break;
        }
    }
}

// Composes the frames from `index` on to the range's end (or a stop, or
// the end of every channel's recordings); false when it failed.
bool MosaicRun::ComposeRange(int64_t rangeEnd, int64_t seconds, int64_t& index) {
    int64_t shown = -1;  // the second of the text on the frames
    for (; !stop_; ++index) {
        const int64_t t = origin_ + index * 1000 / frameRate_;
        if (t >= rangeEnd) break;
        Fill(t);
        const bool over = std::all_of(sources_.begin(), sources_.end(),
                                      [&](const auto& s) { return s->ended && t >= s->out.endMs; });
        if (over) break;
        const int64_t busy = NextBusyFrame(index, t);
        if (busy < 0) break;
        if (busy > index) {
            index = busy - 1;
            continue;
        }
        if (FloorDiv(t, 1000) != shown) {
            shown = FloorDiv(t, 1000);
            graph_->SetText(Text(t));
        }
        if (!Compose(index)) {
            ++index;
            return true;
        }
        Report((t - origin_) / 1000, seconds);
    }
    return false;
}

// Each second of the span the mosaic has reached, once.
void MosaicRun::Report(int64_t done, int64_t seconds) {
    if (done <= reported_) return;
    reported_ = done;
    post_(kMsgMosaicSecond, static_cast<int>(done), static_cast<intptr_t>(std::max(seconds, done)));
    post_(kMsgConvertProgress, 0, static_cast<intptr_t>(std::min<int64_t>(100, done * 100 / seconds)));
}

// Encodes what was composed and finishes the file, also after a stop or a
// failure: the file plays up to there.
void MosaicRun::CloseFile(bool failed, int64_t index, int64_t seconds) {
    const std::string reason = failed ? Failure() : std::string();
    if (!failed) failed = !graph_->Finish() || !Drain();
    if (!encoder_->Encode(nullptr, *writer_, stream_)) failed = true;
    const bool finished = writer_->Finish();
    if (!finished) failed = true;
    mosaic_.videoFrames = static_cast<uint32_t>(encoder_->Frames());
    mosaic_.firstMs = origin_;
    mosaic_.endMs = origin_ + index * 1000 / frameRate_;
    if (!writer_->Started()) {
        // Not a frame in the range: no file rather than an empty one.
        std::error_code ec;
        std::filesystem::remove(mosaic_.path, ec);
        Finish(true, "no video in the range");
        return;
    }
    std::string why = reason.empty() ? Failure() : reason;
    if (failed) {
        // Without its index (written last) an MP4 file does not play.
        const int64_t playable = (mosaic_.endMs - mosaic_.firstMs) / 1000;
        why += finished ? " (the file plays its first " + std::to_string(playable) + " s)"
                        : " (the file could not be finished and does not play)";
    }
    Finish(failed, why);
    Report((mosaic_.endMs - origin_ + 999) / 1000, seconds);  // the last, partial second
}

void MosaicRun::Finish(bool failed, const std::string& reason) {
    for (auto& s : sources_) {
        ChannelOutcome& c = s->out;
        c.sources = s->records.Sources();
        c.skippedRecordings = s->records.SkippedRecordings();
        c.result = failed ? ChannelResult::kWriteFailed : stop_ ? ChannelResult::kStopped : ChannelResult::kDone;
        // The mosaic goes on past damaged video; the row says what it lost.
        c.reason = s->DamageText();
        mosaic_.sources.insert(mosaic_.sources.end(), c.sources.begin(), c.sources.end());
    }
    if (failed) {
        mosaic_.result = ChannelResult::kWriteFailed;
        mosaic_.reason = reason;
    } else if (stop_) {
        mosaic_.result = ChannelResult::kStopped;
        mosaic_.reason = "stopped before the end of the range";
    } else {
        mosaic_.result = ChannelResult::kDone;
    }
}

}  // namespace

void RunMosaicExport(CDayVideo& day, const ConvertSettings& settings, const std::atomic<int32_t>& stop,
                     const PostFunction& post, ChannelOutcome& mosaic, std::vector<ChannelOutcome>& channels,
                     std::vector<GpsPoint>& gps) {
    MosaicRun run(day, settings, stop, post, mosaic, channels);
    run.Run(gps);
}

}  // namespace corvane
