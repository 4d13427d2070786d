#pragma once
// CVideoGroup: plays one recording with all its channels at once. It binds
// channel window i to channel i of the recording, runs a reading thread and
// an audio thread that hand the records to the channel decoders and to the
// sound output, keeps the channels in step through the group clock, and
// carries out the main window's commands.
//
// Pacing: when the selected channel has sound, sound is on and the speed is
// normal, the sound device paces everything (audio-driven): the audio thread
// writes audio records until half the sound buffer lies ahead of the device,
// then waits for the device to have played a block; it runs a read step when
// its queue is empty. Otherwise the reading thread runs
// a read step for all channels and waits a time that follows from the frame
// rate and the speed (video-driven). A channel other than the clock channel
// reads only while it has shown nothing later than the clock channel, or
// while it has read less far than the clock channel (reading every record).
//
// Threads and locks: the GUI thread runs every command; the reading and
// audio threads run read steps under the group lock (so reading never
// overlaps, nor with SeekAll); frame queues, the audio queue and the GPS fix
// have their own locks, taken inside the group lock, never around it. Frame
// steps and jumps decode on the GUI thread: under the group lock they take
// each channel's decode lock in turn, so that its decoding thread waits.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/day_video.h"
#include "platform/message_sink.h"
#include "platform/sync.h"
#include "readers/gps_fix.h"
#include "playback/playback_env.h"
#include "playback/presentation_gate.h"
#include "playback/sound_output.h"
#include "playback/video_port.h"

namespace corvane {

enum PlayState : int32_t { kStopped = 0, kPlaying = 1, kPaused = 2 };

// The reading thread's wait after a step, in microseconds: normal speed the
// smallest frame interval; 2 and 4 (and other positive codes below 8) one
// frame interval divided by the code; key frames (one a second) forward 8, 16,
// 32, 64 and backward -2 to -32: one second divided by the factor, so that the
// speed shown is the speed played; any other code half a second.
uint32_t StepWaitUs(int speed, int minFrameInterval, int maxFrameRate);

// Observes the group's own decisions; the desktop player implements it to
// lock redrawing while channels move.
class GroupView {
public:
    virtual ~GroupView() = default;
    virtual void LockUpdate() = 0;
    virtual void UnlockUpdate() = 0;
};

class CVideoGroup {
public:
    static constexpr int kMaxChannels = 8;

    explicit CVideoGroup(PlaybackEnvironment env);
    ~CVideoGroup();
    CVideoGroup(const CVideoGroup&) = delete;
    CVideoGroup& operator=(const CVideoGroup&) = delete;

    // The control's create, size and destroy messages (GUI thread). Create
    // resets the state and the speech decoders, makes the eight channel
    // windows, lays them out two by two and selects channel 0.
    void OnCreate();
    void OnSize(const Rect& area);
    void OnDestroy();

    // Main window commands (GUI thread).
    bool OpenRecording(CDayVideo* day, CDiskVideo* recording, const PlayRange* range, MessageSink* mainWindow);
    void StopPlayback();
    void ResetState();
    void PausePlayback();
    void ResumePlayback();
    void SeekAll(int second);
    // A change between reading every record, key frames forward and key
    // frames backward goes on from the picture on screen.
    void SetSpeed(int code);
    // Normal speed for the next recording the user chooses (stopped only).
    void ResetSpeed();
    // Frame step, GUI thread; a playing group pauses first. The clock
    // channel shows its next picture (`direction` > 0) or its previous one,
    // every other channel its last picture at or before that one's time.
    // Key-frame speeds go back to normal speed, as a step reads every record.
    // False when there is no such picture (the start or end of the
    // recording); nothing moves then.
    bool StepFrame(int direction);
    // Moves every channel `ms` from the clock channel's picture, playing or
    // paused, to the last picture at or before that time. 0 when the time lies
    // inside the recording; else how far it lies before the first picture
    // (negative: the channels show their first) or after the last (positive:
    // they show their last).
    int64_t JumpBy(int64_t ms);
    void SetVolume(int level);
    void SelectChannel(int index);
    int CurrentSecond();
    // The second of the recording that the clock channel's picture on screen
    // shows; the reading position before anything is shown.
    int ShownSecond();
    void CopyGpsFix(GroupGpsFix* out);
    std::string VehicleName();

    int32_t State() const { return state_.load(); }
    int32_t Speed() const { return speed_.load(); }
    bool KeyFrameMode() const { return keyFrameMode_.load() != 0; }
    CDayVideo* OpenMarker() const { return openDay_.load(); }
    // The recording the channels play (or hold paused); null when stopped.
    CDiskVideo* PlayingRecording() const;
    int MinFrameInterval() const { return minFrameInterval_.load(); }
    int MaxFrameRate() const { return maxFrameRate_.load(); }

    // Layout (GUI thread): 0 one cell, 1 two by two, 2 three by three.
    void SetLayoutMode(int mode) { layoutMode_ = mode; }
    int LayoutMode() const { return layoutMode_; }
    void Relayout();
    void ZoomChannel(CVideoPort* port, bool on);
    CVideoPort* ZoomedChannel() const { return zoomed_; }
    bool RelayoutPending() const { return relayoutPending_ != 0; }
    const Rect& Area() const { return area_; }
    void SetView(GroupView* view) { view_ = view; }

    // Channels.
    int ChannelCount() const { return static_cast<int>(ports_.size()); }
    CVideoPort* Port(int index) const;
    CVideoPort* Selected() const { return selected_.load(); }

    // Used by the channels' read steps and decoders.
    uint64_t GroupClock() const { return groupClock_.load(); }
    void SetGroupClock(uint64_t ms) { groupClock_ = ms; }
    // Decoding thread of `self`, with a finished picture of time `t` not yet
    // shown: waits until no other channel is still decoding towards a
    // picture of that time, at most CVideoDraw::kDecodeWaitIntervals of
    // `self`'s frame intervals; returns at once when `self` is held or
    // stopping.
    void WaitUntilInStep(CVideoPort& self, uint64_t t);
    // Decoding thread of `self`, having shown its picture of time `t`: waits
    // until no other channel holds a finished picture of that time or before
    // unshown, at most a frame interval. On a busy machine the threads let
    // through together would otherwise show their pictures one by one, as
    // the processors get round to them, while the first ones decode on.
    void WaitUntilShown(CVideoPort& self, uint64_t t);
    PresentationGate& Gate() { return gate_; }
    // The key frame (ms) a channel that cannot keep up drops to, so that the
    // others stop with it (the latest such; 0: none), and the time of the
    // newest video record the clock channel has read (0: none). Both are
    // forgotten whenever the channels move elsewhere.
    void NoteDroppingTo(uint64_t keyMs);
    uint64_t DroppingTo() const { return droppingTo_.load(); }
    void NoteRead(uint64_t ms) { readClock_ = ms; }
    uint64_t ReadClock() const { return readClock_.load(); }
    void ChannelsMoved() {
        droppingTo_ = 0;
        readClock_ = 0;
    }
    int AudioChannel() const { return audioChannel_.load(); }
    bool SoundOn() const { return env_.settings->Audio.load() != 0; }
    // Takes the record when sound may play (normal speed, not paused).
    bool PushAudio(std::unique_ptr<CxMemUnit>& record);
    void StoreGps(const CxMemUnit& record);
    void ClearAudio();
    size_t AudioQueueCount();

    CSoundOutput& Sound() { return sound_; }

    // Statistics for tests and `corvane play`.
    uint64_t ReadingSteps() const { return readingSteps_.load(); }
    uint64_t AudioSteps() const { return audioSteps_.load(); }
    uint64_t AudioRecordsPlayed() const { return audioPlayed_.load(); }
    uint64_t EndMessagesPosted() const { return endPosts_.load(); }

private:
    enum class StepKind { kNormal, kForward, kBackward };
    static StepKind StepKindOf(int speed);
    int StepAll(StepKind kind);
    // Ways of reading that leave the readers where the next one cannot go on.
    enum class ReadWay { kRecords, kKeyFramesForward, kKeyFramesBackward };
    static ReadWay ReadWayOf(int speed);
    void ContinueFromPicture(ReadWay way);  // under the group lock
    // Every channel but the clock channel to its last picture at or before
    // the clock channel's (under the group lock).
    void AlignWithClock(CVideoPort* clock, bool fromKeyFrame);
    CVideoPort* ClockPort() const;
    void ReadingThread();
    void AudioThread();
    // The selected channel has sound: sound on, and its reader has audio.
    bool SelectedHasSound() const;
    bool AudioDriven() const { return speed_.load() == 0 && SelectedHasSound(); }
    void PostEndOfRecording();
    void StopThreads();
    // Decoding thread of `self`: waits until `busy` holds for no other open
    // channel, at most `intervals` of `self`'s frame intervals (10 to 400 ms);
    // returns at once when `self` is held or stopping.
    void WaitForOthers(CVideoPort& self, const std::function<bool(CVideoDraw&)>& busy, int intervals);
    // Wakes the reading and audio threads from their idle waits.
    void WakeThreads();
    static constexpr uint32_t kIdleWaitMs = 100;
    std::unique_ptr<CxMemUnit> PopAudio();

    PlaybackEnvironment env_;
    std::vector<std::unique_ptr<CVideoPort>> ports_;  // made by OnCreate, GUI thread
    std::atomic<CVideoPort*> selected_{nullptr};      // GUI thread writes; threads read

    std::thread readingThread_, audioThread_;  // GUI thread
    CxMutex groupLock_;  // around read steps
    CxEvent wake_;       // wakes the reading thread's waits; set by StopPlayback and the commands
    CxEvent audioWake_;  // wakes the audio thread while it idles
    // GUI thread writes, the worker threads read.
    std::atomic<uint8_t> readingRunning_{0}, audioRunning_{0}, stop_{1};
    std::atomic<int32_t> speed_{0};
    std::atomic<uint8_t> keyFrameMode_{0};
    std::atomic<int32_t> minFrameInterval_{0}, maxFrameRate_{0};
    std::atomic<int32_t> state_{kStopped};
    std::atomic<CDayVideo*> openDay_{nullptr};
    std::atomic<int32_t> audioChannel_{-1}, audioType_{0};
    MessageSink* mainWindow_ = nullptr;  // GUI thread sets it before the threads start
    std::atomic<bool> endPosted_{false};  // the first thread to find the end posts, once

    SpeechDecoders voice_;  // audio thread (reset by OnCreate before)
    CSoundOutput sound_;

    PresentationGate gate_;
    std::atomic<uint64_t> droppingTo_{0}, readClock_{0};
    std::atomic<uint64_t> groupClock_{1};  // clock channel's decoding thread writes; read steps read

    CxMutex audioLock_;
    std::deque<std::unique_ptr<CxMemUnit>> audioQueue_;  // under audioLock_

    CxMutex gpsLock_;
    GroupGpsFix gps_;  // under gpsLock_

    // Layout, GUI thread only.
    int layoutMode_ = 1;
    CVideoPort* zoomed_ = nullptr;
    int relayoutPending_ = 0;
    Rect area_;
    GroupView* view_ = nullptr;

    std::atomic<uint64_t> readingSteps_{0}, audioSteps_{0}, audioPlayed_{0}, endPosts_{0};
};

}  // namespace corvane
