#pragma once
// CVideoDraw: one channel's decoder. It owns a queue of compressed video
// records, a decoding thread that takes them in order and decodes each at
// once (pacing is the reading side's business) and shows the picture once the
// other channels have theirs of that time, the last picture for repaint and
// snapshots, and the channel's video output.
//
// Locks, in the order they may be taken:
//   group lock   -> decode lock (frame steps, jumps and moves)
//   decode lock  -> queue lock (briefly, to take the next record)
//   decode lock  -> picture lock, then (released) render lock
//   gate lock    -> queue lock (another channel's WorthWaitingFor)
// The queue lock is never held while another lock is taken, and no lock is
// held while the decoding thread waits at the group's gate. Paint takes the
// decode lock, size changes the render lock only, SavePicture the picture
// lock only.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "codecs/hi264dec.h"
#include "hevc/ihw265d.h"
#include "platform/sync.h"
#include "playback/frame_shedding.h"
#include "playback/playback_env.h"
#include "playback/video_output.h"
#include "readers/file_reader.h"
#include "readers/mem_unit.h"

namespace corvane {

class CVideoPort;

class CVideoDraw {
public:
    CVideoDraw(CVideoPort& owner, const PlaybackEnvironment& env);
    ~CVideoDraw();
    CVideoDraw(const CVideoDraw&) = delete;
    CVideoDraw& operator=(const CVideoDraw&) = delete;

    // GUI thread. Creates decoder and output, reads ahead once through the
    // port, shows the first picture and starts the decoding thread. 1 when
    // started; 0 (after a message for a decoder or output failure) otherwise.
    int StartDecoding();
    // GUI thread. Stops the thread and releases everything.
    void StopDecoding();

    // Reading side, under the group lock.
    void PushFrame(std::unique_ptr<CxMemUnit> record);
    // Room for one more record: fewer queued than the channel's frame rate
    // (25 when the reader is missing or reports none), together under 32 MB;
    // false without a recording.
    bool HasRoom();
    // The channel moves elsewhere: drops what is queued, and what a decoder
    // with frame threads holds back (taking the decode lock for that).
    void ClearQueue();

    // GUI thread: the window's paint and size messages, and whether the
    // window is visible (a hidden channel decodes and keeps its picture for
    // snapshots, but shows nothing).
    void OnPaint();
    void OnSize();
    void SetVisible(bool visible) { visible_ = visible; }
    bool IsVisible() const { return visible_.load(); }

    // Writes the last picture as a 24-bit BMP of the reader's size.
    bool SavePicture(const std::string& path);
    // The last picture as 24-bit pixels of the reader's size, top row first,
    // blue, green, red; false when there is none.
    bool CopyPicture(std::vector<uint8_t>& bgr, int& width, int& height);

    // Set by the group while paused; the decoding thread idles while it is set.
    std::atomic<uint8_t> hold{0};
    // GUI thread: sets or clears the hold flag; when set, returns once the
    // decoding thread has finished the record it may be taking, so that it
    // takes no other.
    void SetHold(bool on);

    // Decodes one record and, when `show`, shows what comes out (the
    // decoding thread only keeps it, to be shown in step with the other
    // channels); with `referencesOnly` the decoder skips a picture no other
    // refers to. Returns the pictures that came out. Decoding thread (and GUI
    // thread for frame steps and jumps), with the decode lock held.
    int DecodeRecord(const CxMemUnit& record, bool show = true, bool referencesOnly = false);

    // Frame steps and jumps feed the decoder from the GUI thread, under the
    // group lock: they hold the decode lock (recursive) for the whole move so
    // that the decoding thread takes nothing meanwhile.
    CxMutex& DecodeLock() { return decodeLock_; }
    // Decodes `record` as the decoding thread would, showing its picture only
    // when `show`.
    void Feed(std::unique_ptr<CxMemUnit> record, bool show);
    // Unlinks the head of the queue; null when the queue is empty.
    std::unique_ptr<CxMemUnit> TakeQueued();
    // Frame steps and jumps need each record's picture as it is decoded. A
    // decoder with frame threads (which gives each picture a record late) is
    // dropped for one without, together with the picture it holds back.
    // True when decoding must start again from a key frame: the decoder has
    // lost the pictures the next records refer to. GUI thread or any thread
    // clearing the queue.
    bool Settle();
    // The time of the record whose picture a decoder with frame threads still
    // holds back (the channel's next picture); 0 when it holds none.
    uint64_t HeldTime();
    // The recording has ended: once the queue is empty, the decoding thread
    // takes the held-back picture out of the decoder and shows it.
    void NoteEndOfData();

    // State, for the group, tests and statistics.
    bool IsRunning() const { return stop_.load() == 0; }
    bool IsReady() const { return ready_.load() != 0; }
    size_t QueueCount();
    // Nothing queued, no record being decoded, and no held-back picture due
    // at the end of the data.
    bool Idle();
    // Whether the decoder in use has frame threads.
    bool FrameThreaded() {
        CxLock decode(decodeLock_);
        return threaded_;
    }
    std::vector<uint64_t> QueuedTimestamps();
    // The header of the record the decoder takes next, if any is queued.
    std::optional<RecordHeader> NextQueued();
    uint64_t PicturesDecoded() const { return picturesDecoded_.load(); }
    uint64_t PicturesShown() const { return picturesShown_.load(); }
    // Records left undecoded, or pictures the decoder skipped, to keep up.
    uint64_t PicturesDropped() const { return picturesDropped_.load(); }
    // The time of the record whose picture the channel holds: on screen, or
    // kept for snapshots while the window is hidden (0 before the first). The
    // channel's shown time moves on as decoding begins.
    uint64_t PictureTime() const { return pictureTime_.load(); }
    // Whether another channel about to show a picture of time `t` should wait
    // for this one: it is playing (not held, shown), its picture on screen
    // lies a frame interval or more before `t` (and not so far that its clock
    // is another), and it has decoded a picture before `t` not shown yet, or
    // it is decoding (for no longer than kDecodeWaitIntervals) or has queued
    // a record at or before `t` (not one it drops to catch up). Any thread;
    // takes the queue lock.
    bool WorthWaitingFor(uint64_t t);
    // Frame intervals a channel waits at most for another decoding towards
    // its picture's time. Channels that shed work drop to the same key frame
    // and decode it at once: eight 1080p key frames of 20 Mbit/s on two cores
    // take 150 to 210 ms together, more than five intervals.
    static constexpr int kDecodeWaitIntervals = 10;
    // Whether it is playing and holds a decoded picture of time `t` or
    // before, not shown yet. Any thread.
    bool HoldsUnshown(uint64_t t) const;
    VideoOutput* Output() { return output_.get(); }
    bool UsesHevc() const { return h265_ != nullptr; }

private:
    void ThreadLoop();
    bool SpareCores() const;
    // With `frameThreads` the decoder gives each picture a record late.
    bool CreateDecoder(CxFileReader* reader, bool frameThreads);
    void DestroyDecoder();
    // Decode lock held: a new decoder, with frame threads or without.
    void SwitchDecoder(bool frameThreads);
    // Whether the decoding thread turns to frame threads at this record: they
    // may be used, the record is a key frame, and every record is read (at
    // key-frame speeds a picture a record late would be a second late).
    bool WantsFrameThreads(const RecordHeader& header) const;
    // The time of the picture that the decoding thread's taking the record
    // gives: its own, or with frame threads (also those it turns to at this
    // record) the oldest one held back (0: none). Decode lock held.
    uint64_t OutputTime(const RecordHeader& header) const;
    // What came out of the decoder for one record.
    struct Outcome {
        int pictures = 0;
        bool kept = false;
        uint64_t time = 0;  // of the picture kept
    };
    // Feeds the decoder one access unit (`time` its record's), or with kEnd
    // none, and takes every picture that comes out.
    enum class Feeding { kAll, kReferencesOnly, kEnd };
    Outcome RunDecoder(const uint8_t* data, uint32_t length, uint64_t time, Feeding feeding, bool show);
    // The time of the oldest record whose picture the decoder holds back; 0
    // when none. Decode lock held.
    uint64_t OldestHeld() const { return held_.empty() ? 0 : held_.front(); }
    // A picture out of the decoder: counted, and kept when `show`. Its time
    // is the record's, or with frame threads the one the decoder passed on.
    void TakePicture(const PictureRef& p, uint64_t pts, uint64_t recordTime, bool show, Outcome& outcome);
    // Shows the picture kept, or leaves it to be shown in step.
    void Keep(const Outcome& outcome);
    // End of data: takes what the decoder holds back out of it (the decoder
    // then starts afresh). Decoding thread, decode lock held.
    void DrainHeld();
    bool CreateOutput();
    void DestroyOutput();
    void AllocateBuffers(int width, int height);
    void FreeBuffers();
    // Channel 0 of a recording whose first reader hides its stream.
    bool StreamHidden();
    using Clock = std::chrono::steady_clock;
    struct Queued {
        std::unique_ptr<CxMemUnit> record;
        Clock::time_point pushed;
    };
    static uint64_t WaitedMs(const Queued& queued, Clock::time_point released);
    void TakeRecord(std::unique_ptr<CxMemUnit> record, uint64_t waitedMs);
    // Copies a decoded picture into the kept planes; false when it does not
    // fit. Decode lock held.
    bool KeepPicture(const PictureRef& picture);
    // Shows the kept picture, of time `t`. Decode lock held.
    void PresentKept(uint64_t t);
    // Hands the kept planes to the output; false when there are none or no
    // output. Decode lock held.
    bool ShowPlanes();

    CVideoPort& owner_;
    const PlaybackEnvironment& env_;

    // Made on the GUI thread by StartDecoding before the thread starts, used
    // by the decoding thread (or the GUI thread's steps and jumps) under the
    // decode lock, released by StopDecoding after the thread has ended.
    Hi264DecHandle h264_ = nullptr;
    IHW265D_Handle h265_ = nullptr;
    std::vector<uint8_t> input_;
    CxMutex decodeLock_;
    FrameShedding shedding_;  // decoding thread; reset by StartDecoding
    // Whether playing may use frame threads (idle cores; set by StartDecoding
    // before the thread starts), and under the decode lock whether the
    // decoder has them, whether it has lost what the next records refer to,
    // and the times of the records whose pictures it holds back, oldest first.
    bool frameThreads_ = false;
    bool threaded_ = false;
    bool needsKey_ = false;
    std::deque<uint64_t> held_;
    static constexpr size_t kMaxHeld = 4;
    std::atomic<uint8_t> endOfData_{0};
    // Set by the decoding thread around its own decoding: the picture is kept
    // and shown only after the wait for the other channels.
    bool deferPresent_ = false;  // under the decode lock
    uint64_t pendingTime_ = 0;   // under the decode lock: time of a kept picture not yet shown

    CxMutex queueLock_;
    std::list<Queued> queue_;  // under queueLock_

    CxEvent wake_;  // set after every push and at stop
    std::thread thread_;
    std::atomic<uint8_t> stop_{1};  // GUI thread writes; 1 whenever no thread runs

    // The last shown picture, packed; under the picture lock.
    CxMutex pictureLock_;
    std::vector<uint8_t> planeY_, planeU_, planeV_;
    int pictureWidth_ = 0, pictureHeight_ = 0;

    // The output and whether it is ready; under the render lock.
    CxMutex renderLock_;
    std::unique_ptr<VideoOutput> output_;
    std::atomic<uint8_t> ready_{0};  // written under the render lock; read anywhere

    std::atomic<bool> visible_{true};  // GUI thread writes, decoding thread reads
    std::atomic<uint64_t> picturesDecoded_{0};  // decoding thread writes
    std::atomic<uint64_t> picturesShown_{0};
    std::atomic<uint64_t> picturesDropped_{0};  // decoding thread writes
    std::atomic<uint64_t> pictureTime_{0};                    // decoding thread writes
    // For WorthWaitingFor: the time of the newest decoded picture, of the
    // record being taken (0: none) and since when (steady clock ticks), the
    // key frame the records are being dropped up to (0: none; the largest
    // value when its time is not known), and the frame interval.
    std::atomic<uint64_t> decodedTime_{0}, takingTime_{0};
    std::atomic<Clock::rep> takingSince_{0};
    std::atomic<uint64_t> skippingTo_{0};
    std::atomic<uint64_t> frameMs_{40};
};

}  // namespace corvane
