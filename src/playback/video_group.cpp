#include "playback/video_group.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/number_text.h"
#include "playback/message_box.h"
#include "readers/gps_fix.h"

namespace corvane {

bool StartWorker(const PlaybackEnvironment& env, WorkerKind kind, std::thread& thread, std::function<void()> body) {
    if (env.startThread) return env.startThread(kind, thread, std::move(body));
    try {
        thread = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

uint32_t StepWaitUs(int speed, int minFrameInterval, int maxFrameRate) {
    if (speed == 0) return minFrameInterval > 0 ? uint32_t(minFrameInterval) * 1000 : 0;
    const bool keyFrames = speed > 7 || speed < -1;
    if (!keyFrames) {
        if (speed < 0) return 500000;
        const int rate = maxFrameRate > 0 ? maxFrameRate : 25;
        return uint32_t(1000000 / (rate * speed));
    }
    // Key frames are one second apart: code N shows N of them a second.
    switch (speed) {
    case 8: case 16: case 32: case 64:
    case -2: case -4: case -8: case -16: case -32:
        return uint32_t(1000000 / (speed < 0 ? -speed : speed));
    default: return 500000;
    }
}

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

CVideoGroup::CVideoGroup(PlaybackEnvironment env) : env_(std::move(env)), sound_(env_.sound) {
    if (!env_.settings) env_.settings = &g_AppSettings;
}

CVideoGroup::~CVideoGroup() {
    StopPlayback();
    ResetState();
    OnDestroy();
}

// ---------------------------------------------------------------------------
// Control messages and layout

void CVideoGroup::OnCreate() {
    ResetState();
    voice_.Reset();
    for (int i = 0; i < kMaxChannels; ++i) ports_.push_back(std::make_unique<CVideoPort>(*this, i, env_));
    layoutMode_ = 1;
    Relayout();
    selected_ = nullptr;
    SelectChannel(0);
}

void CVideoGroup::OnSize(const Rect& area) {
    area_ = area;
    Relayout();
}

void CVideoGroup::OnDestroy() {
    for (auto& port : ports_) {
        if (port->Recording()) port->CloseChannel();
    }
    selected_ = nullptr;
    zoomed_ = nullptr;
    ports_.clear();
}

CVideoPort* CVideoGroup::Port(int index) const {
    return index >= 0 && size_t(index) < ports_.size() ? ports_[size_t(index)].get() : nullptr;
}

void CVideoGroup::Relayout() {
    const Rect& r = area_;
    if (zoomed_) {
        zoomed_->Move(r, true);
        relayoutPending_ = 1;
        return;
    }
    auto place = [this](int k, const Rect& cell) {
        CVideoPort* port = Port(k);
        if (!port) return;
        port->savedCell = cell;
        port->Move(cell, true);
    };
    switch (layoutMode_) {
    case 0:
        for (int k = 0; k < ChannelCount(); ++k) place(k, r);
        break;
    case 1: {
        const int w = r.Width() / 2, h = r.Height() / 2;
        for (int k = 0; k < 4; ++k) {
            const int left = r.left + (k % 2) * w, top = r.top + (k / 2) * h;
            place(k, Rect{left, top, left + w, top + h});
        }
        break;
    }
    case 2: {
        const int w = r.Width() / 3, h = r.Height() / 3;
        for (int k = 0; k < 8; ++k) {
            const int left = r.left + (k % 3) * w, top = r.top + (k / 3) * h;
            place(k, Rect{left, top, left + w, top + h});
        }
        break;
    }
    default:
        break;
    }
}

void CVideoGroup::ZoomChannel(CVideoPort* port, bool on) {
    if (!port) {
        zoomed_ = nullptr;
        return;
    }
    if (view_) view_->LockUpdate();
    // Another channel zoomed gets its cell back first, and the others their
    // visibility, so that switching from one zoomed channel to another works.
    if (on && zoomed_ && zoomed_ != port) ZoomChannel(zoomed_, false);
    if (on) {
        port->zoom = 1;
        zoomed_ = port;
        for (auto& other : ports_) {
            if (other.get() != port) other->SetVisible(false);
        }
        port->Move(area_, true);
    } else {
        port->zoom = 0;
        port->Move(port->savedCell, true);
        zoomed_ = nullptr;
        if (relayoutPending_) {
            relayoutPending_ = 0;
            Relayout();
        }
        for (auto& other : ports_) {
            if (other.get() != port) other->SetVisible(true);
        }
    }
    if (view_) view_->UnlockUpdate();
}

// ---------------------------------------------------------------------------
// Commands

bool CVideoGroup::SelectedHasSound() const {
    if (!SoundOn()) return false;
    CVideoPort* sel = selected_.load();
    CxFileReader* reader = sel ? sel->Reader() : nullptr;
    return reader && reader->HasAudio();
}

bool CVideoGroup::OpenRecording(CDayVideo* day, CDiskVideo* recording, const PlayRange* range,
                                MessageSink* mainWindow) {
    if (ports_.empty() || !day || !recording) return false;
    // A paused group has its threads running too; both are stopped first.
    if (state_.load() != kStopped) {
        StopPlayback();
        ResetState();
    }
    mainWindow_ = mainWindow;
    // A recording not measured yet has no channel count; its readers tell.
    int count = recording->GetChannelCount();
    if (count <= 0) count = static_cast<int>(recording->readers.size());
    for (int i = 0; i < count && i < ChannelCount(); ++i) ports_[size_t(i)]->OpenChannel(recording, range);

    openDay_ = day;
    CVideoPort* sel = selected_.load();
    const int selectedIndex = sel ? sel->Index() : 0;
    SelectChannel(selectedIndex);
    SetSpeed(speed_.load());

    sel = selected_.load();
    const uint32_t block = sel && sel->OneChannelPerFile() ? kSoundBlockLarge : kSoundBlockSmall;
    if (!sound_.Open(block)) {
        // No sound device: sound stays off until the program ends, and the
        // channels are chosen again as for a channel without sound.
        env_.settings->Audio = 0;
        SelectChannel(selectedIndex);
    }

    stop_ = 0;
    readingRunning_ = 1;
    audioRunning_ = 1;
    endPosted_ = false;
    wake_.Reset();
    const bool started = StartWorker(env_, WorkerKind::kReading, readingThread_, [this] { ReadingThread(); }) &&
                         StartWorker(env_, WorkerKind::kAudio, audioThread_, [this] { AudioThread(); });
    if (!started) {
        // Whatever did start is stopped, and the channels are closed again.
        StopPlayback();
        ResetState();
        if (env_.messages) env_.messages->Show(kMsgStartThreadFailed);
        return false;
    }
    if (SelectedHasSound()) sound_.Start();
    state_ = kPlaying;
    return true;
}

void CVideoGroup::WakeThreads() {
    wake_.Set();
    audioWake_.Set();
}

void CVideoGroup::StopThreads() {
    stop_ = 1;
    gate_.Changed();
    readingRunning_ = 0;
    audioRunning_ = 0;
    WakeThreads();
    sound_.Event().Set();
    if (readingThread_.joinable()) readingThread_.join();
    if (audioThread_.joinable()) audioThread_.join();
}

void CVideoGroup::StopPlayback() {
    stop_ = 1;
    readingRunning_ = 0;
    audioRunning_ = 0;
    wake_.Set();
    if (!sound_.IsPlaying()) sound_.Start();
    ClearAudio();
    sound_.Stop();
    sound_.Event().Set();
    StopThreads();
    for (auto& port : ports_) {
        if (port->Recording()) port->CloseChannel();
    }
    sound_.Release();
}

void CVideoGroup::ResetState() {
    StopThreads();  // nothing to do after StopPlayback
    openDay_ = nullptr;
    groupClock_ = 1;
    ChannelsMoved();
    audioChannel_ = -1;
    audioType_ = 0;
    state_ = kStopped;
    minFrameInterval_ = 0;
    maxFrameRate_ = 0;
    if (speed_.load() < 0) speed_ = 0;
    keyFrameMode_ = speed_.load() > 7 ? 1 : 0;
}

void CVideoGroup::PausePlayback() {
    if (!openDay_.load() || state_.load() == kPaused) return;
    // The state changes first, so that the audio thread, woken below, does
    // not take another record and wait on a stopped buffer.
    state_ = kPaused;
    {
        // A step under way finishes; later ones find the group paused.
        CxLock group(groupLock_);
    }
    for (auto& port : ports_) port->Draw().SetHold(true);
    if (speed_.load() == 0) {
        if (sound_.IsPlaying()) sound_.Stop();
        sound_.Event().Set();
    }
}

void CVideoGroup::ResumePlayback() {
    if (!openDay_.load() || state_.load() == kPlaying) return;
    for (auto& port : ports_) port->Draw().SetHold(false);
    if (speed_.load() == 0 && !sound_.IsPlaying()) sound_.Start();
    state_ = kPlaying;
    WakeThreads();
}

void CVideoGroup::SeekAll(int second) {
    ClearAudio();
    CxLock group(groupLock_);
    for (auto& port : ports_) {
        if (!port->Recording()) continue;
        port->Draw().ClearQueue();
        if (CxFileReader* reader = port->Reader()) reader->SeekToSecond(second);
        if (port->ReadStepNormal(1) == 0) break;
    }
}

void CVideoGroup::SetSpeed(int code) {
    if (!openDay_.load() || code < -32 || code > 64) return;
    {
        CxLock group(groupLock_);
        if (ReadWayOf(code) != ReadWayOf(speed_.load())) ContinueFromPicture(ReadWayOf(code));
        speed_ = code;
        keyFrameMode_ = (code > 7 || code < -1) ? 1 : 0;
    }
    if (code != 0) {
        if (sound_.IsPlaying()) sound_.Stop();
        sound_.Event().Set();
        ClearAudio();
    } else if (!sound_.IsPlaying()) {
        sound_.Start();
    }
    WakeThreads();
}

void CVideoGroup::ResetSpeed() {
    if (state_.load() != kStopped) return;
    speed_ = 0;
    keyFrameMode_ = 0;
}

CVideoGroup::StepKind CVideoGroup::StepKindOf(int speed) {
    return speed > 0 ? StepKind::kForward : speed < 0 ? StepKind::kBackward : StepKind::kNormal;
}

CVideoGroup::ReadWay CVideoGroup::ReadWayOf(int speed) {
    if (speed < 0) return ReadWay::kKeyFramesBackward;
    return speed > 7 ? ReadWay::kKeyFramesForward : ReadWay::kRecords;
}

CVideoPort* CVideoGroup::ClockPort() const {
    CVideoPort* open = nullptr;
    for (const auto& port : ports_) {
        if (!port->Recording()) continue;
        if (port->IsClockChannel()) return port.get();
        if (!open) open = port.get();
    }
    return open;
}

// Reading every record leaves the files ahead of the picture by what is
// queued, and key-frame steps move a cursor of their own that record reading
// does not follow. So when the way of reading changes, every channel drops
// what it has queued and starts again from the second of the picture the
// clock channel shows next (else the one it showed last).
void CVideoGroup::ContinueFromPicture(ReadWay way) {
    CVideoPort* clock = ClockPort();
    CxFileReader* reader = clock ? clock->Reader() : nullptr;
    if (!reader) return;
    uint64_t second = reader->GetPosition();
    uint64_t picture = clock->LastShown();
    if (const uint64_t held = clock->Draw().HeldTime()) picture = held;
    else if (std::optional<RecordHeader> next = clock->Draw().NextQueued()) picture = next->timestamp;
    if (picture) second = picture >= reader->FirstTimestamp() ? (picture - reader->FirstTimestamp()) / 1000 : 0;
    // A backward step goes to the key frame before the cursor's, and the first
    // one back is the key frame of the picture's own second.
    if (way == ReadWay::kKeyFramesBackward && second + 1 < reader->IndexEntryCount()) ++second;
    for (auto& port : ports_) {
        if (!port->Recording()) continue;
        port->Draw().ClearQueue();
        if (CxFileReader* r = port->Reader()) r->SeekToSecond(static_cast<int>(second));
    }
}

void CVideoGroup::AlignWithClock(CVideoPort* clock, bool fromKeyFrame) {
    for (auto& port : ports_) {
        if (port.get() != clock && port->Recording()) port->ShowAtOrBefore(clock->LastShown(), fromKeyFrame);
    }
}

bool CVideoGroup::StepFrame(int direction) {
    if (!openDay_.load() || state_.load() == kStopped) return false;
    PausePlayback();
    {
        CxLock group(groupLock_);
        CVideoPort* clock = ClockPort();
        CxFileReader* reader = clock ? clock->Reader() : nullptr;
        if (!reader || clock->LastShown() == 0) return false;
        // Key-frame speeds leave every channel at key frames a second apart:
        // each goes back to the picture on screen, reading every record.
        if (ReadWayOf(speed_.load()) != ReadWay::kRecords) {
            speed_ = 0;
            keyFrameMode_ = 0;
            clock->ShowAtOrBefore(clock->LastShown(), true);
            AlignWithClock(clock, true);
        }
        uint64_t target;
        if (direction > 0) {
            target = clock->NextPictureTime();
        } else {
            const uint64_t shown = clock->LastShown();
            target = shown > reader->FirstTimestamp() ? shown - 1 : 0;
        }
        if (target == 0 || clock->ShowAtOrBefore(target, false) == CVideoPort::Landing::kNothingBefore) return false;
        AlignWithClock(clock, false);
    }
    ClearAudio();
    return true;
}

int64_t CVideoGroup::JumpBy(int64_t ms) {
    if (!openDay_.load() || state_.load() == kStopped) return 0;
    int64_t beyond = 0;
    {
        CxLock group(groupLock_);
        CVideoPort* clock = ClockPort();
        CxFileReader* reader = clock ? clock->Reader() : nullptr;
        if (!reader) return 0;
        const int64_t first = int64_t(reader->FirstTimestamp());
        const int64_t shown = clock->LastShown() ? int64_t(clock->LastShown()) : first;
        int64_t target = shown + ms;
        if (target < first) {
            beyond = target - first;
            target = first;
        }
        if (clock->ShowAtOrBefore(uint64_t(target), true) == CVideoPort::Landing::kPastEnd && ms > 0)
            beyond = target - int64_t(clock->LastShown());
        AlignWithClock(clock, true);
        if (ReadWayOf(speed_.load()) != ReadWay::kRecords) ContinueFromPicture(ReadWayOf(speed_.load()));
    }
    ClearAudio();
    WakeThreads();
    return beyond;
}

void CVideoGroup::WaitForOthers(CVideoPort& self, const std::function<bool(CVideoDraw&)>& busy, int intervals) {
    CxFileReader* reader = self.Reader();
    const int interval = reader && reader->GetFrameInterval() > 0 ? reader->GetFrameInterval() : 40;
    gate_.Wait(
        [&] {
            if (stop_.load() || self.Draw().hold.load() || !self.Draw().IsRunning()) return true;
            for (const auto& port : ports_) {
                if (port.get() != &self && port->Recording() && busy(port->Draw())) return false;
            }
            return true;
        },
        std::chrono::milliseconds(std::clamp(intervals * interval, 10, 400)));
}

void CVideoGroup::WaitUntilInStep(CVideoPort& self, uint64_t t) {
    WaitForOthers(self, [t](CVideoDraw& other) { return other.WorthWaitingFor(t); },
                  CVideoDraw::kDecodeWaitIntervals);
}

void CVideoGroup::WaitUntilShown(CVideoPort& self, uint64_t t) {
    WaitForOthers(self, [t](CVideoDraw& other) { return other.HoldsUnshown(t); }, 1);
}

void CVideoGroup::NoteDroppingTo(uint64_t keyMs) {
    uint64_t seen = droppingTo_.load();
    while (seen < keyMs && !droppingTo_.compare_exchange_weak(seen, keyMs)) {
    }
}

void CVideoGroup::SetVolume(int level) { sound_.SetVolume(level); }

void CVideoGroup::SelectChannel(int index) {
    if (index < 0 || index >= kMaxChannels) return;
    CVideoPort* sel = Port(index);
    if (!sel) return;
    selected_ = sel;
    for (auto& port : ports_) {
        port->SetClockChannel(false);
        port->SetSelected(port.get() == sel);
    }
    CxFileReader* selReader = sel->Reader();
    const bool sound = SoundOn() && selReader && selReader->HasAudio();
    if (sound) {
        audioChannel_ = index;
        audioType_ = selReader->GetAudioType();
        sel->SetClockChannel(true);
        if (state_.load() != kPaused && speed_.load() == 0) sound_.Start();
    } else {
        audioChannel_ = -1;
        if (sound_.IsPlaying()) sound_.Stop();
        sound_.Event().Set();
    }

    // The smallest frame interval (0: none yet) and largest frame rate over
    // the open channels; the clock candidate is the first channel whose
    // interval is the smallest.
    CVideoPort* candidate = nullptr;
    int candidateInterval = 0;
    for (auto& port : ports_) {
        CxFileReader* reader = port->Recording() ? port->Reader() : nullptr;
        if (!reader) continue;
        const int interval = reader->GetFrameInterval();
        const int rate = reader->GetFrameRate();
        if (minFrameInterval_.load() == 0 || interval < minFrameInterval_.load()) minFrameInterval_ = interval;
        if (rate > maxFrameRate_.load()) maxFrameRate_ = rate;
        if (!candidate || interval < candidateInterval) {
            candidate = port.get();
            candidateInterval = interval;
        }
    }
    if (!sound && candidate) candidate->SetClockChannel(true);
    WakeThreads();
}

CDiskVideo* CVideoGroup::PlayingRecording() const {
    for (const auto& port : ports_) {
        if (CDiskVideo* r = port->Recording()) return r;
    }
    return nullptr;
}

int CVideoGroup::CurrentSecond() {
    CVideoPort* first = Port(0);
    CxFileReader* reader = first ? first->FirstReader() : nullptr;
    if (!reader) return 0;
    CxLock group(groupLock_);  // the readers are not to be read while a step moves them
    return static_cast<int>(reader->GetPosition());
}

int CVideoGroup::ShownSecond() {
    CVideoPort* clock = ClockPort();
    CxFileReader* reader = clock ? clock->Reader() : nullptr;
    const uint64_t shown = clock ? clock->LastShown() : 0;
    if (!reader || shown == 0) return CurrentSecond();
    return shown >= reader->FirstTimestamp() ? static_cast<int>((shown - reader->FirstTimestamp()) / 1000) : 0;
}

void CVideoGroup::CopyGpsFix(GroupGpsFix* out) {
    if (!out) return;
    CxLock lock(gpsLock_);
    *out = gps_;
}

std::string CVideoGroup::VehicleName() {
    CVideoPort* sel = selected_.load();
    if (!sel) return "Car";
    CDiskVideo* recording = sel->Recording();
    return recording ? recording->description : std::string();
}

// ---------------------------------------------------------------------------
// Audio queue and GPS fix

bool CVideoGroup::PushAudio(std::unique_ptr<CxMemUnit>& record) {
    if (speed_.load() != 0 || state_.load() == kPaused) return false;
    CxLock lock(audioLock_);
    audioQueue_.push_back(std::move(record));
    return true;
}

std::unique_ptr<CxMemUnit> CVideoGroup::PopAudio() {
    CxLock lock(audioLock_);
    if (audioQueue_.empty()) return nullptr;
    std::unique_ptr<CxMemUnit> record = std::move(audioQueue_.front());
    audioQueue_.pop_front();
    return record;
}

void CVideoGroup::ClearAudio() {
    std::deque<std::unique_ptr<CxMemUnit>> dropped;
    CxLock lock(audioLock_);
    dropped.swap(audioQueue_);
}

size_t CVideoGroup::AudioQueueCount() {
    CxLock lock(audioLock_);
    return audioQueue_.size();
}

void CVideoGroup::StoreGps(const CxMemUnit& record) {
    if (record.PayloadSize() < kGpsFixSize) return;
    const GpsFix fix = GpsFix::Parse(record.Payload());
    const std::string lat = fix.LatitudeText(), lon = fix.LongitudeText();
    CxLock lock(gpsLock_);
    gps_.status = uint8_t(fix.status);
    gps_.latitude = LeadingDouble(lat);
    gps_.latHemisphere = uint8_t(fix.latHemisphere);
    gps_.longitude = LeadingDouble(lon);
    gps_.lonHemisphere = uint8_t(fix.lonHemisphere);
    gps_.speed = fix.speed;
    gps_.course = fix.course;
    std::memcpy(gps_.dateTime, record.Payload() + 32, sizeof gps_.dateTime);
}

// ---------------------------------------------------------------------------
// Threads

int CVideoGroup::StepAll(StepKind kind) {
    if (!openDay_.load()) return 1;
    CxLock group(groupLock_);
    if (state_.load() == kPaused) return 1;  // paused while this thread waited for the lock
    // The speed changed while this thread waited: the readers may have been
    // moved for another way of reading, so this step is not run.
    if (StepKindOf(speed_.load()) != kind) return 1;
    const int keyFrame = keyFrameMode_.load();
    int open = 0, ended = 0;
    for (auto& port : ports_) {
        if (!port->Recording()) continue;
        ++open;
        int r = 1;
        switch (kind) {
        case StepKind::kNormal: r = port->ReadStepNormal(0); break;
        case StepKind::kForward: r = port->ReadStepForward(keyFrame); break;
        case StepKind::kBackward: r = port->ReadStepBackward(); break;
        }
        if (r == 0) ++ended;
    }
    return ended == open ? 0 : 1;
}

void CVideoGroup::PostEndOfRecording() {
    if (endPosted_.exchange(true)) return;
    ++endPosts_;
    for (auto& port : ports_) port->Draw().NoteEndOfData();
    if (mainWindow_) mainWindow_->Post(kMsgEndOfRecording, 0, 0);
}

void CVideoGroup::ReadingThread() {
    using Clock = std::chrono::steady_clock;
    // Steps are paced against a schedule, not by sleeping the wait after each
    // step, so that the time a step takes (and a busy machine's scheduling
    // delays) does not add up into playing slower than real time. After a
    // pause, or when more than a second behind (the process did not get the
    // processor for that long), the schedule starts again from now.
    Clock::time_point deadline = Clock::now();
    bool resync = true;
    while (!stop_.load()) {
        if (AudioDriven() || state_.load() == kPaused) {
            // Commands that may end this (resume, speed, channel, stop) set
            // the event; the time-out covers the sound setting changing.
            wake_.Wait(kIdleWaitMs);
            resync = true;
            continue;
        }
        const int speed = speed_.load();
        const int r = StepAll(StepKindOf(speed));
        ++readingSteps_;
        const uint32_t wait = StepWaitUs(speed, minFrameInterval_.load(), maxFrameRate_.load());
        ClearAudio();
        if (r == 0) break;
        if (env_.waitStep) {
            env_.waitStep(wake_, wait / 1000);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (resync || now - deadline > std::chrono::seconds(1)) deadline = now;
        resync = false;
        deadline += std::chrono::microseconds(wait);
        if (deadline > now) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            if (left > 0) wake_.Wait(static_cast<uint32_t>(left));
        }
    }
    if (!stop_.load() && !AudioDriven()) PostEndOfRecording();
}

void CVideoGroup::AudioThread() {
    while (!stop_.load()) {
        if (!(AudioDriven() && state_.load() != kPaused)) {
            audioWake_.Wait(kIdleWaitMs);
            continue;
        }
        std::unique_ptr<CxMemUnit> record = PopAudio();
        if (!record) {
            const int r = StepAll(StepKind::kNormal);
            ++audioSteps_;
            if (r == 0) break;
            // A step that queued nothing (full frame queues, channels waiting
            // for the clock) is tried again a little later, not in a spin.
            if (AudioQueueCount() == 0) SleepMs(1);
            continue;
        }
        voice_.DecodeAndPlay(*record, audioType_.load(), sound_);
        ++audioPlayed_;
        record.reset();
        // Half the buffer is kept written ahead of the device. A thread that
        // woke late (on a busy machine) writes what it owes at once, so that
        // the sound, and with it the picture, keeps the device's time.
        if (sound_.BytesAhead() >= int64_t(kSoundBlocks / 2 * sound_.BlockBytes())) sound_.Event().Wait(kInfinite);
    }
    if (sound_.IsPlaying()) sound_.Stop();
    sound_.Event().Set();
    if (!stop_.load() && AudioDriven()) PostEndOfRecording();
}

}  // namespace corvane
