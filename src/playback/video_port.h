#pragma once
// CVideoPort: one channel window of the group. It binds itself to channel
// `index` of a recording (OpenChannel / CloseChannel), runs that channel's
// read steps for the group, keeps its cell in the layout, its title and
// selection, and embeds the channel's decoder (CVideoDraw).
//
// The native window behind it belongs to the desktop player, which follows
// the port's state through a PortView. Without a view (tests, the command
// line) the port only keeps the state.
#include <atomic>
#include <cstdint>
#include <string>

#include "catalogue/disk_video.h"
#include "playback/playback_env.h"
#include "playback/video_draw.h"

namespace corvane {

class CVideoGroup;

// Alarm play range: milliseconds from the start of the recording.
struct PlayRange {
    uint32_t startMs = 0;
    uint32_t endMs = 0;
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// The native channel window as the port drives it. All calls come on the GUI
// thread. The port calls CVideoDraw::OnSize itself after a Move that changed
// the size, so the view must have resized its draw window by then.
class PortView {
public:
    virtual ~PortView() = default;
    virtual void Move(const Rect& rect, bool repaint) = 0;  // in the group's host coordinates
    virtual void SetVisible(bool visible) = 0;
    // The frame and title strips must be painted again (selection, title
    // text or render flag changed).
    virtual void InvalidateFrame() = 0;
    // The whole window must be painted again, erasing it.
    virtual void InvalidateAll() = 0;
};

class CVideoPort {
public:
    CVideoPort(CVideoGroup& group, int index, const PlaybackEnvironment& env);
    ~CVideoPort();
    CVideoPort(const CVideoPort&) = delete;
    CVideoPort& operator=(const CVideoPort&) = delete;

    // GUI thread. Binds the channel to reader `index` of the recording,
    // positions every reader of the recording (at the range start, or its
    // beginning) and starts decoding. 0 without a recording or reader (the
    // port is left as it was) or when decoding does not start (the recording
    // stays bound, the channel stays dark).
    int OpenChannel(CDiskVideo* recording, const PlayRange* range);
    void CloseChannel();

    // Read steps, run by the group's threads under the group lock. Each
    // returns 0 when the channel cannot go on (end of its data or of the play
    // range), else 1.
    int ReadStepNormal(int force);
    int ReadStepForward(int keyFrame);
    int ReadStepBackward();

    // Frame steps and jumps, GUI thread, under the group lock. The time of
    // the picture this channel shows next: one its decoder holds back, else
    // the head of its queue, else the next video record, read ahead into the
    // queue; 0 at the end of its data.
    uint64_t NextPictureTime();
    enum class Landing { kShown, kNothingBefore, kPastEnd };
    // Shows the channel's last picture at or before `t`. Decoding runs on
    // from the picture on screen when `t` is less than a key-frame distance
    // ahead of it, else from the last key frame at or before `t`, and only
    // the last picture is shown. The first record after `t` is left queued,
    // so that playing or stepping goes on from there. kNothingBefore: the
    // channel has no picture at or before `t` (it keeps its picture);
    // kPastEnd: its data ended at or before `t` (it shows its last picture).
    Landing ShowAtOrBefore(uint64_t t, bool fromKeyFrame);

    // A record of this channel was decoded (or, for a hidden stream, taken):
    // its time becomes the last shown time, and the group clock when this is
    // the clock channel. Decoding thread.
    void NoteShown(uint64_t timestamp);

    int Index() const { return index_; }
    CVideoGroup& Group() { return group_; }
    CVideoDraw& Draw() { return draw_; }
    CDiskVideo* Recording() const { return recording_.load(); }
    const PlayRange* Range() const { return range_.load(); }
    // This channel's reader; null when closed or missing.
    CxFileReader* Reader() const;
    // Reader 0 of the recording: the position source.
    CxFileReader* FirstReader() const;

    // A channel further behind the clock channel than this has a clock of
    // its own and is not made to catch up.
    static constexpr uint64_t kCatchUpLimitMs = 10000;
    uint64_t LastShown() const { return lastShown_.load(); }
    bool IsClockChannel() const { return clockChannel_.load() != 0; }
    void SetClockChannel(bool on) { clockChannel_ = on ? 1 : 0; }
    bool OneChannelPerFile() const { return oneChannelPerFile_ != 0; }

    // Window state (GUI thread).
    void SetView(PortView* view) { view_ = view; }
    void Move(const Rect& rect, bool repaint);
    void SetVisible(bool visible);
    const Rect& WindowRect() const { return rect_; }
    bool IsVisible() const { return visible_; }
    const std::string& Text() const { return text_; }
    // The title bar: the window text, then " == " and the renderer's label
    // ("Hardware" or "Software" in the interface language); empty when the
    // text is.
    std::string TitleBarText() const;
    int RenderFlag() const { return renderFlag_.load(); }
    void SetRenderFlag(int flag);  // GUI thread, from CreateOutput
    bool IsSelected() const { return selected_ != 0; }
    void SetSelected(bool on);
    Rect savedCell;
    int zoom = 0;

    // Mouse (GUI thread): a click selects the channel, a double click on an
    // open channel also toggles its zoom.
    void OnLeftButtonDown();
    void OnLeftDoubleClick();

private:
    void SetText(const std::string& text);
    // The next video record of the reader; GPS records met on the way go to
    // the group when this is the clock channel, others are dropped.
    std::unique_ptr<CxMemUnit> ReadVideo();
    // Clears the queue and queues the last key frame at or before `t` (the
    // reader then going on after it), or, when none is found, the channel's
    // first picture; false when that lies after `t` too.
    bool QueueKeyFrameAtOrBefore(uint64_t t);
    void InvalidateFrame();
    // Reading every record: whether this channel has read less far than the
    // clock channel's newest record (`readClock`, 0: none), and noting a video
    // record read (the clock channel's sets the group's read clock).
    bool ReadBehind(uint64_t readClock) const;
    void NoteVideoRead(uint64_t timestamp, bool clock);

    CVideoGroup& group_;
    const int index_;
    // Set and cleared by the GUI thread while neither the group's threads nor
    // this channel's decoding thread run; read by them.
    std::atomic<CDiskVideo*> recording_{nullptr};
    // The readers this channel plays from, held so that nothing the catalogue
    // does to the recording's reader list frees them while they are read.
    std::shared_ptr<CxFileReader> reader_, firstReader_;
    std::atomic<const PlayRange*> range_{nullptr};
    uint8_t oneChannelPerFile_ = 0;

    std::atomic<uint64_t> lastShown_{0};     // decoding thread writes; group threads and GUI read
    std::atomic<uint64_t> lastRead_{0};      // newest video record read, reading every record; read steps
    std::atomic<uint8_t> clockChannel_{0};   // GUI thread writes (SelectChannel); everyone reads
    std::atomic<int32_t> renderFlag_{1};     // 1 accelerated renderer, 0 software
    int32_t selected_ = 0;                   // GUI thread only

    // GUI thread only.
    PortView* view_ = nullptr;
    Rect rect_;
    bool visible_ = true;
    std::string text_;

    CVideoDraw draw_;  // last: it refers to the fields above
};

}  // namespace corvane
