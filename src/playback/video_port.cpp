#include "playback/video_port.h"

#include <algorithm>
#include <cstdio>

#include "config/language.h"
#include "playback/video_group.h"

namespace corvane {
namespace {

// Recorders write a key frame every second: a picture less than this far
// ahead is reached sooner by decoding on than from its key frame.
constexpr uint64_t kKeyFrameDistanceMs = 1000;
// How many seconds back from a time its key frame is looked for.
constexpr int kKeyFrameSearchSeconds = 10;

}  // namespace

CVideoPort::CVideoPort(CVideoGroup& group, int index, const PlaybackEnvironment& env)
    : group_(group), index_(index), draw_(*this, env) {}

CVideoPort::~CVideoPort() { draw_.StopDecoding(); }

CxFileReader* CVideoPort::Reader() const { return reader_.get(); }

CxFileReader* CVideoPort::FirstReader() const { return firstReader_.get(); }

int CVideoPort::OpenChannel(CDiskVideo* recording, const PlayRange* range) {
    if (!recording || index_ < 0 || size_t(index_) >= recording->readers.size() ||
        !recording->readers[size_t(index_)])
        return 0;
    recording_ = recording;
    range_ = range;
    reader_ = recording->readers[size_t(index_)];
    firstReader_ = recording->readers.front();
    CxFileReader* reader = reader_.get();
    StreamInfo info;
    reader->GetInfo(&info);
    char text[96];
    std::snprintf(text, sizeof text, "!%d! %dx%dx%d", index_ + 1, int(info.width), int(info.height),
                  int(info.frameRate));
    SetText(text);
    for (auto& r : recording->readers) {
        if (!r) continue;
        if (range) r->SeekToSecond(int(range->startMs / 1000));
        else r->Rewind();
    }
    oneChannelPerFile_ = info.oneChannelPerFile > 0 ? 1 : 0;
    return draw_.StartDecoding();
}

void CVideoPort::CloseChannel() {
    draw_.StopDecoding();
    clockChannel_ = 0;
    lastShown_ = 0;
    lastRead_ = 0;
    recording_ = nullptr;
    reader_.reset();
    firstReader_.reset();
    range_ = nullptr;
    oneChannelPerFile_ = 0;
    SetText("");
    if (view_) view_->InvalidateAll();
}

void CVideoPort::NoteShown(uint64_t timestamp) {
    lastShown_ = timestamp;
    if (clockChannel_.load()) group_.SetGroupClock(timestamp);
}

bool CVideoPort::ReadBehind(uint64_t readClock) const { return readClock != 0 && lastRead_.load() < readClock; }

void CVideoPort::NoteVideoRead(uint64_t timestamp, bool clock) {
    lastRead_ = timestamp;
    if (clock) group_.NoteRead(timestamp);
}

int CVideoPort::ReadStepNormal(int force) {
    if (!draw_.HasRoom()) return 1;
    const PlayRange* range = range_.load();
    CxFileReader* first = FirstReader();
    if (range && first && first->GetPosition() >= range->endMs / 1000) return 0;
    const bool clock = IsClockChannel();
    // The clock channel's newest record read, when it reads ahead of its
    // decoder: a channel that has read less far reads on to it, so that each
    // has queued what the clock channel has (and one that drops records to
    // catch up finds its key frame there as soon as the clock channel does).
    const uint64_t readClock = group_.ReadClock();
    if (!clock && !force && lastShown_.load() > group_.GroupClock() && !ReadBehind(readClock)) return 1;
    CxFileReader* reader = Reader();
    if (!reader) return 0;
    // The clock channel whose sound is being queued reads on until it has
    // queued sound as well as video, so that the audio thread has something
    // to play after each step. (A clock channel whose sound nobody plays
    // would otherwise read a second of records per step and run ahead.)
    const bool untilAudio = clock && !force && group_.AudioChannel() == index_;
    // A channel that fell behind the clock (its queue was full while its
    // decoder could not keep up) reads on until it has caught up with it;
    // reading one record a step it would stay behind for good. Times further
    // apart than any such lag come from clocks that do not match, and are
    // not caught up with.
    const uint64_t groupClock = std::max(group_.GroupClock(), readClock);
    const uint64_t shown = lastShown_.load();
    const bool catchUp = !clock && !force && shown + kCatchUpLimitMs > groupClock;
    int audioCount = 0;
    bool audioQueued = false, videoSeen = false;
    while (true) {
        std::unique_ptr<CxMemUnit> record;
        if (!reader->ReadFrame(0, record, 0) || !record) return 0;
        const RecordHeader header = record->Header();
        switch (header.Type()) {
        case kTypeVideo:
            draw_.PushFrame(std::move(record));
            NoteVideoRead(header.timestamp, clock);
            videoSeen = !catchUp || header.timestamp >= groupClock || !draw_.HasRoom();
            break;
        case kTypeAudio:
            if (group_.AudioChannel() == index_ && group_.PushAudio(record)) audioQueued = true;
            ++audioCount;
            break;
        case kTypeGps:
            if (clock) group_.StoreGps(*record);
            break;
        default:
            break;
        }
        if (audioCount >= 25) return 1;
        if (untilAudio ? (audioQueued && videoSeen) : videoSeen) return 1;
    }
}

int CVideoPort::ReadStepForward(int keyFrame) {
    if (!draw_.HasRoom()) return 1;
    const PlayRange* range = range_.load();
    CxFileReader* first = FirstReader();
    if (range && first && first->GetPosition() >= range->endMs / 1000) return 0;
    const bool clock = IsClockChannel();
    // Reading every record, a channel that has read less far than the clock
    // channel reads on to its newest record, as at normal speed.
    const uint64_t readClock = keyFrame ? 0 : group_.ReadClock();
    const bool readBehind = !clock && ReadBehind(readClock);
    if (!clock && lastShown_.load() > group_.GroupClock() && !readBehind) return 1;
    CxFileReader* reader = Reader();
    if (!reader) return 0;
    while (true) {
        std::unique_ptr<CxMemUnit> record;
        if (!reader->ReadFrame(keyFrame ? 1 : 0, record, 0) || !record) return 0;
        const RecordHeader header = record->Header();
        if (header.Type() == kTypeVideo) {
            draw_.PushFrame(std::move(record));
            if (keyFrame) return 1;
            NoteVideoRead(header.timestamp, clock);
            if (!readBehind || header.timestamp >= readClock || !draw_.HasRoom()) return 1;
        } else if (header.Type() == kTypeGps) {
            group_.StoreGps(*record);
        }
    }
}

int CVideoPort::ReadStepBackward() {
    if (!draw_.HasRoom()) return 1;
    const PlayRange* range = range_.load();
    CxFileReader* first = FirstReader();
    if (range && first && first->GetPosition() < range->startMs / 1000) return 0;
    if (!IsClockChannel() && lastShown_.load() < group_.GroupClock()) return 1;
    CxFileReader* reader = Reader();
    if (!reader) return 0;
    while (true) {
        std::unique_ptr<CxMemUnit> record;
        if (!reader->ReadFrame(-1, record, 0) || !record) return 0;
        const uint8_t type = record->Header().Type();
        if (type == kTypeVideo) {
            draw_.PushFrame(std::move(record));
            return 1;
        }
        if (type == kTypeGps) group_.StoreGps(*record);
    }
}

std::unique_ptr<CxMemUnit> CVideoPort::ReadVideo() {
    CxFileReader* reader = Reader();
    if (!reader) return nullptr;
    while (true) {
        std::unique_ptr<CxMemUnit> record;
        if (!reader->ReadFrame(0, record, 0) || !record) return nullptr;
        const uint8_t type = record->Header().Type();
        if (type == kTypeVideo) return record;
        if (type == kTypeGps && IsClockChannel()) group_.StoreGps(*record);
    }
}

uint64_t CVideoPort::NextPictureTime() {
    if (const uint64_t held = draw_.HeldTime()) return held;
    if (std::optional<RecordHeader> next = draw_.NextQueued()) return next->timestamp;
    std::unique_ptr<CxMemUnit> record = ReadVideo();
    if (!record) return 0;
    const uint64_t t = record->Header().timestamp;
    draw_.PushFrame(std::move(record));
    return t;
}

bool CVideoPort::QueueKeyFrameAtOrBefore(uint64_t t) {
    CxFileReader* reader = Reader();
    draw_.ClearQueue();
    if (!reader) return false;
    // Index entry n is the key frame of second n. A channel sharing its file
    // with others may have its own key frame a little after the entry's, and
    // a damaged index may point anywhere: the second before is tried then.
    const uint64_t first = reader->FirstTimestamp();
    int64_t second = t > first ? int64_t((t - first) / 1000) : 0;
    const int64_t entries = reader->IndexEntryCount();
    if (entries > 0 && second >= entries) second = entries - 1;
    for (int tries = 0; second >= 0 && tries < kKeyFrameSearchSeconds; --second, ++tries) {
        reader->SeekToSecond(static_cast<int>(second));
        while (std::unique_ptr<CxMemUnit> record = ReadVideo()) {
            const RecordHeader header = record->Header();
            if (header.timestamp > t) break;
            if (header.flag == 1) {
                draw_.PushFrame(std::move(record));
                return true;
            }
        }
    }
    // No key frame near `t` (a damaged index or stream, or `t` before the
    // channel's first picture): the channel is read from its start.
    reader->Rewind();
    const uint64_t start = NextPictureTime();
    return start != 0 && start <= t;
}

CVideoPort::Landing CVideoPort::ShowAtOrBefore(uint64_t t, bool fromKeyFrame) {
    if (!Reader() || !draw_.IsRunning()) return Landing::kNothingBefore;
    CxLock decode(draw_.DecodeLock());
    const bool restart = draw_.Settle();
    const uint64_t shown = lastShown_.load();
    const bool fromKey = fromKeyFrame || restart || shown == 0 || shown > t || t - shown >= kKeyFrameDistanceMs;
    if (fromKey && !QueueKeyFrameAtOrBefore(t)) {
        // The channel starts after `t`: its first picture, queued, is the
        // nearest.
        if (NextPictureTime() != shown) draw_.Feed(draw_.TakeQueued(), true);
        return Landing::kNothingBefore;
    }
    // Every picture up to `t` is decoded, as the later ones refer to them;
    // only the last is shown.
    std::unique_ptr<CxMemUnit> pending;
    bool ended = false;
    while (true) {
        const uint64_t next = NextPictureTime();
        if (next == 0) {
            ended = true;
            break;
        }
        if (next > t) break;
        if (pending) draw_.Feed(std::move(pending), false);
        pending = draw_.TakeQueued();
    }
    // Nothing new up to `t`: the picture on screen is the one.
    if (pending) draw_.Feed(std::move(pending), true);
    return ended ? Landing::kPastEnd : Landing::kShown;
}

void CVideoPort::Move(const Rect& rect, bool repaint) {
    const bool resized = rect.Width() != rect_.Width() || rect.Height() != rect_.Height();
    rect_ = rect;
    if (view_) view_->Move(rect, repaint);
    if (resized) draw_.OnSize();
}

void CVideoPort::SetVisible(bool visible) {
    visible_ = visible;
    draw_.SetVisible(visible);
    if (view_) view_->SetVisible(visible);
}

std::string CVideoPort::TitleBarText() const {
    if (text_.empty()) return text_;
    return text_ + " == " +
           (renderFlag_.load() ? GetLangText("COMMON_DATA", "RENDER_HARD", "Hardware")
                               : GetLangText("COMMON_DATA", "RENDER_SOFT", "Software"));
}

void CVideoPort::SetRenderFlag(int flag) {
    renderFlag_ = flag;
    InvalidateFrame();
}

void CVideoPort::SetSelected(bool on) {
    const int32_t value = on ? 1 : 0;
    if (selected_ == value) return;
    selected_ = value;
    InvalidateFrame();
}

void CVideoPort::SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    InvalidateFrame();
}

void CVideoPort::InvalidateFrame() {
    if (view_) view_->InvalidateFrame();
}

void CVideoPort::OnLeftButtonDown() { group_.SelectChannel(index_); }

void CVideoPort::OnLeftDoubleClick() {
    if (!Recording()) return;
    group_.SelectChannel(index_);
    zoom = zoom ? 0 : 1;
    group_.ZoomChannel(this, zoom != 0);
}

}  // namespace corvane
