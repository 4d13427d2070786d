#include "playback/video_draw.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

#include "playback/message_box.h"
#include "playback/picture_bmp.h"
#include "playback/video_group.h"
#include "playback/video_port.h"

namespace corvane {
namespace {

// Decoder calls per record at most; a decoder that keeps answering "picture
// ready" without ever running dry is not followed further.
constexpr int kMaxPicturesPerRecord = 64;

void* HevcMalloc(uint32_t, uint32_t size) { return std::malloc(size); }
void HevcFree(uint32_t, void* memory) { std::free(memory); }
void HevcLog(uint32_t, int32_t, const char*, ...) {}

void ShowMessage(const PlaybackEnvironment& env, const char* text) {
    if (env.messages) env.messages->Show(text);
}

// Largest picture the H.264 decoder is told to expect, in macroblocks.
void H264Limits(int width, uint32_t& widthMb, uint32_t& heightMb) {
    switch (width) {
    case 704: widthMb = 80, heightMb = 48; break;
    case 960:
    case 1280: widthMb = 96, heightMb = 68; break;
    case 1920: widthMb = 120, heightMb = 68; break;
    default: widthMb = 40, heightMb = 32; break;
    }
}

PictureRef HevcPicture(const IHW265D_OutArgs& out) {
    PictureRef p;
    p.width = int(out.width);
    p.height = int(out.height);
    for (int k = 0; k < 3; ++k) p.plane[k] = out.planes[k];
    p.pitch[0] = int(out.yStride);
    p.pitch[1] = p.pitch[2] = int(out.uvStride);
    return p;
}

PictureRef H264Picture(const Hi264DecPicture& picture) {
    PictureRef p;
    p.width = int(picture.width);
    p.height = int(picture.height);
    p.plane[0] = picture.y;
    p.plane[1] = picture.u;
    p.plane[2] = picture.v;
    p.pitch[0] = p.width;
    p.pitch[1] = p.pitch[2] = p.width / 2;
    return p;
}

}  // namespace

CVideoDraw::CVideoDraw(CVideoPort& owner, const PlaybackEnvironment& env) : owner_(owner), env_(env) {
    if (env_.video) output_ = env_.video->NewOutput(owner_.Index());
}

CVideoDraw::~CVideoDraw() {
    StopDecoding();
    CxLock render(renderLock_);
    output_.reset();
}

// With fewer channels than cores, each decoder may use the idle ones (slice
// threads, which still give every picture at once); with more, one thread per
// channel keeps the decoders from crowding each other out.
bool CVideoDraw::SpareCores() const {
    const CDiskVideo* r = owner_.Recording();
    const int channels = r ? r->GetChannelCount() : 1;
    const unsigned cores = env_.cores ? env_.cores : std::thread::hardware_concurrency();
    return channels >= 1 && unsigned(channels) < cores;
}

bool CVideoDraw::CreateDecoder(CxFileReader* reader, bool frameThreads) {
    const bool threads = SpareCores();
    if (reader && reader->IsHevc()) {
        IHW265D_InitParam p{};
        p.channelId = uint32_t(owner_.Index() + 1);
        p.iMaxWidth = reader->GetWidth();
        p.iMaxHeight = reader->GetHeight();
        p.iMaxRefNum = 4;
        p.iMaxVPSNum = 2;
        p.iMaxSPSNum = 4;
        p.iMaxPPSNum = 16;
        p.iBitDepth = 8;
        p.eThreadType = frameThreads ? 2 : threads ? 1 : 0;
        p.eOutputOrder = 1;
        p.MallocFxn = &HevcMalloc;
        p.FreeFxn = &HevcFree;
        p.LogFxn = &HevcLog;
        IHW265D_Handle handle = nullptr;
        if (IHW265D_Create(&handle, &p) != IHW265D_OK) return false;
        h265_ = handle;
        return true;
    }
    Hi264DecAttr attr{};
    attr.pictureFormat = 0;
    attr.streamType = 0;
    H264Limits(reader ? reader->GetWidth() : 0, attr.maxWidthMb, attr.maxHeightMb);
    attr.bufferCount = reader ? uint32_t(reader->GetFrameRate()) : 25;
    attr.workMode = frameThreads ? 3 : threads ? 2 : 1;
    h264_ = Hi264DecCreate(&attr);
    return h264_ != nullptr;
}

void CVideoDraw::DestroyDecoder() {
    if (h265_) IHW265D_Delete(h265_);
    if (h264_) Hi264DecDestroy(h264_);
    h265_ = nullptr;
    h264_ = nullptr;
    threaded_ = false;
    held_.clear();
}

void CVideoDraw::SwitchDecoder(bool frameThreads) {
    DestroyDecoder();
    CxFileReader* reader = owner_.Reader();
    if (frameThreads && CreateDecoder(reader, true)) threaded_ = true;
    else CreateDecoder(reader, false);  // without a decoder records give no picture
}

bool CVideoDraw::WantsFrameThreads(const RecordHeader& header) const {
    return frameThreads_ && !threaded_ && header.flag == 1 && !owner_.Group().KeyFrameMode();
}

uint64_t CVideoDraw::OutputTime(const RecordHeader& header) const {
    if (threaded_ || WantsFrameThreads(header)) return OldestHeld();
    return header.timestamp;
}

bool CVideoDraw::Settle() {
    CxLock decode(decodeLock_);
    if (threaded_) {
        SwitchDecoder(false);
        needsKey_ = true;
    }
    return needsKey_;
}

uint64_t CVideoDraw::HeldTime() {
    CxLock decode(decodeLock_);
    return OldestHeld();
}

void CVideoDraw::NoteEndOfData() {
    endOfData_ = 1;
    wake_.Set();
}

bool CVideoDraw::CreateOutput() {
    CxLock render(renderLock_);
    ready_ = 0;
    CxFileReader* reader = owner_.Reader();
    bool accelerated = false;
    if (!output_ || !reader || !output_->Create(reader->GetWidth(), reader->GetHeight(), &accelerated)) {
        if (output_) output_->Destroy();
        return false;
    }
    owner_.SetRenderFlag(accelerated ? 1 : 0);
    ready_ = 1;
    return true;
}

void CVideoDraw::DestroyOutput() {
    CxLock render(renderLock_);
    ready_ = 0;
    if (output_) output_->Destroy();
}

void CVideoDraw::AllocateBuffers(int width, int height) {
    const size_t w = width > 0 ? size_t(width) : 0, h = height > 0 ? size_t(height) : 0;
    {
        CxLock decode(decodeLock_);
        input_.clear();
        try {
            input_.assign(w * h * 3, 0);
        } catch (const std::bad_alloc&) {
            input_.clear();  // every record then gives no picture
        }
    }
    CxLock picture(pictureLock_);
    try {
        planeY_.assign(w * h * 2, 0);
        planeU_.assign((h / 2) * (w / 2), 128);
        planeV_.assign((h / 2) * (w / 2), 128);
    } catch (const std::bad_alloc&) {
        planeY_.clear();
        planeU_.clear();
        planeV_.clear();
    }
    pictureWidth_ = int(w);
    pictureHeight_ = int(h);
}

void CVideoDraw::FreeBuffers() {
    {
        CxLock decode(decodeLock_);
        std::vector<uint8_t>().swap(input_);
    }
    CxLock picture(pictureLock_);
    std::vector<uint8_t>().swap(planeY_);
    std::vector<uint8_t>().swap(planeU_);
    std::vector<uint8_t>().swap(planeV_);
    pictureWidth_ = pictureHeight_ = 0;
}

int CVideoDraw::StartDecoding() {
    if (IsRunning()) return 1;
    CxFileReader* reader = owner_.Reader();
    // Playing starts with a decoder that gives every picture at once and
    // turns to frame threads at the next key frame (see TakeRecord).
    frameThreads_ = SpareCores();
    needsKey_ = false;
    endOfData_ = 0;
    if (!CreateDecoder(reader, false)) {
        ShowMessage(env_, kMsgCreateDecoderFailed);
        return 0;
    }
    if (!CreateOutput()) {
        DestroyDecoder();
        ShowMessage(env_, kMsgCreateOutputFailed);
        return 0;
    }
    picturesDecoded_ = 0;
    picturesShown_ = 0;
    picturesDropped_ = 0;
    pictureTime_ = 0;
    decodedTime_ = 0;
    takingTime_ = 0;
    skippingTo_ = 0;
    pendingTime_ = 0;
    frameMs_ = reader && reader->GetFrameRate() > 0 ? uint64_t(1000 / reader->GetFrameRate()) : 40;
    shedding_ = FrameShedding(frameMs_.load());
    AllocateBuffers(reader ? reader->GetWidth() : 0, reader ? reader->GetHeight() : 0);

    // Read ahead once and show the first picture before playback begins.
    owner_.ReadStepNormal(0);
    std::unique_ptr<CxMemUnit> head;
    {
        CxLock queue(queueLock_);
        if (!queue_.empty()) {
            head = std::move(queue_.front().record);
            queue_.pop_front();
        }
    }
    if (head) {
        CxLock decode(decodeLock_);
        if (StreamHidden()) owner_.NoteShown(head->Header().timestamp);
        else DecodeRecord(*head);
        shedding_.Restart(head->Header().flag == 1, head->Header().timestamp);
    }

    wake_.Reset();
    stop_ = 0;
    if (!StartWorker(env_, WorkerKind::kDecoding, thread_, [this] { ThreadLoop(); })) {
        stop_ = 1;
        FreeBuffers();
        DestroyOutput();
        DestroyDecoder();
        return 0;
    }
    return 1;
}

void CVideoDraw::StopDecoding() {
    stop_ = 1;
    wake_.Set();
    owner_.Group().Gate().Changed();
    if (thread_.joinable()) thread_.join();
    DestroyOutput();
    {
        CxLock decode(decodeLock_);
        DestroyDecoder();
    }
    wake_.Reset();
    ClearQueue();
    FreeBuffers();
    hold = 0;
}

bool CVideoDraw::StreamHidden() {
    if (owner_.Index() != 0) return false;
    CxFileReader* first = owner_.FirstReader();
    return first && first->HiddenStream != 0;
}

void CVideoDraw::ThreadLoop() {
    // Idle (held, or nothing queued) the thread sleeps on its event, which a
    // push, the end of a hold and the stop set; the time-out only bounds the
    // wait for a hold flag cleared without SetHold.
    constexpr uint32_t kIdleWaitMs = 100;
    // Records wait in the queue while the channel is held; that wait is not
    // the decoder's lag.
    bool held = false;
    Clock::time_point released{};
    while (!stop_.load()) {
        if (hold.load()) {
            held = true;
            wake_.Wait(kIdleWaitMs);
            continue;
        }
        if (held) {
            held = false;
            released = Clock::now();
        }
        bool empty;
        {
            CxLock queue(queueLock_);
            empty = queue_.empty();
        }
        if (empty && !endOfData_.load()) {
            wake_.Wait(kIdleWaitMs);
            continue;
        }
        uint64_t pending = 0;
        {
            CxLock decode(decodeLock_);
            if (hold.load()) continue;  // held while this thread waited for the lock
            Queued next;
            {
                CxLock queue(queueLock_);
                if (!queue_.empty()) {
                    next = std::move(queue_.front());
                    queue_.pop_front();
                    takingTime_ = OutputTime(next.record->Header());
                    takingSince_ = Clock::now().time_since_epoch().count();
                }
            }
            deferPresent_ = true;
            if (next.record) TakeRecord(std::move(next.record), WaitedMs(next, released));
            else if (endOfData_.exchange(0)) DrainHeld();
            deferPresent_ = false;
            takingTime_ = 0;
            pending = pendingTime_;
        }
        owner_.Group().Gate().Changed();
        if (pending) {
            // Without the decode lock, so that commands are not held up; a
            // picture decoded on the GUI thread meanwhile cancels this one.
            owner_.Group().WaitUntilInStep(owner_, pending);
            {
                CxLock decode(decodeLock_);
                if (pendingTime_ == pending) PresentKept(pending);
            }
            owner_.Group().Gate().Changed();
            owner_.Group().WaitUntilShown(owner_, pending);
        }
        wake_.Wait(0);
    }
}

// How long the record waited in the queue, since it was pushed or the channel
// was last released.
uint64_t CVideoDraw::WaitedMs(const Queued& queued, Clock::time_point released) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            Clock::now() - std::max(queued.pushed, released)).count();
    return waited > 0 ? uint64_t(waited) : 0;
}

// How far the channel is behind with the record: how long it waited, and for a
// channel other than the clock channel how far its time lies behind the clock
// channel's picture.
void CVideoDraw::TakeRecord(std::unique_ptr<CxMemUnit> record, uint64_t waitedMs) {
    const RecordHeader header = record->Header();
    // Frames of a hidden stream are taken but never decoded; their times still
    // move the channel (and the group clock) on, so that the other channels do
    // not wait for it for ever.
    if (StreamHidden()) {
        owner_.NoteShown(header.timestamp);
        return;
    }
    const int speed = owner_.Group().Speed();
    // The clock of a channel whose times lie too far apart from this one's
    // (clocks that do not match) says nothing about it.
    uint64_t clock = owner_.IsClockChannel() ? 0 : owner_.Group().GroupClock();
    if (clock > header.timestamp + CVideoPort::kCatchUpLimitMs) clock = 0;
    const uint64_t lag = clock > header.timestamp ? std::max(waitedMs, clock - header.timestamp) : waitedMs;
    CVideoGroup& group = owner_.Group();
    const FrameShedding::Action action = shedding_.Next(header.flag == 1, header.timestamp, lag,
                                                        speed > 1 && speed < 8 ? speed : 1, clock, group.DroppingTo());
    const uint64_t key = shedding_.DroppingTo();
    const bool skipping = shedding_.Current() == FrameShedding::Level::kKeyFrames;
    skippingTo_ = !skipping ? 0 : key ? key : UINT64_MAX;
    if (action == FrameShedding::Action::kDrop) {
        if (key) group.NoteDroppingTo(key);
        // The picture on screen stays. The clock moves on all the same, so
        // that the other channels read on with it to the key frame.
        if (owner_.IsClockChannel()) group.SetGroupClock(header.timestamp);
        ++picturesDropped_;
        return;
    }
    // Frame threads take over at a key frame, where the decoder needs nothing
    // of the pictures before.
    if (WantsFrameThreads(header)) SwitchDecoder(true);
    const Clock::time_point start = Clock::now();
    const bool referencesOnly = action == FrameShedding::Action::kDecodeReferencesOnly;
    if (DecodeRecord(*record, true, referencesOnly) == 0 && referencesOnly) ++picturesDropped_;
    shedding_.Decoded(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
}

void CVideoDraw::SetHold(bool on) {
    hold = on ? 1 : 0;
    owner_.Group().Gate().Changed();
    // Once the record being taken (if any) is done, the thread takes no more.
    if (on) {
        CxLock decode(decodeLock_);
    } else {
        wake_.Set();
    }
}

void CVideoDraw::PushFrame(std::unique_ptr<CxMemUnit> record) {
    if (!record) return;
    {
        CxLock queue(queueLock_);
        queue_.push_back({std::move(record), Clock::now()});
    }
    wake_.Set();
}

bool CVideoDraw::HasRoom() {
    if (!owner_.Recording()) return false;
    CxFileReader* reader = owner_.Reader();
    // A reader that reports no frame rate records at 25 frames per second;
    // a limit of 0 would keep the channel from ever reading.
    int limit = reader ? reader->GetFrameRate() : 25;
    if (limit <= 0) limit = 25;
    // Records larger than the usual unit (4K key frames, or the lengths of a
    // damaged file) are bounded in number by their bytes as well.
    constexpr size_t kMaxQueuedBytes = 32u << 20;
    CxLock queue(queueLock_);
    if (queue_.size() >= size_t(limit)) return false;
    size_t bytes = 0;
    for (const Queued& q : queue_) bytes += q.record->Capacity();
    return bytes < kMaxQueuedBytes;
}

void CVideoDraw::ClearQueue() {
    // A picture the decoder holds back belongs to where the channel was.
    Settle();
    endOfData_ = 0;
    std::list<Queued> dropped;
    {
        CxLock queue(queueLock_);
        dropped.swap(queue_);
    }
    // The channels move elsewhere: where they were reading and the key frame
    // they were dropping to mean nothing there.
    owner_.Group().ChannelsMoved();
    owner_.Group().Gate().Changed();
}

bool CVideoDraw::WorthWaitingFor(uint64_t t) {
    if (!IsRunning() || hold.load() || !visible_.load()) return false;
    // A channel that has decoded nothing yet (or a hidden stream, which never
    // decodes) counts as far behind.
    const uint64_t shown = pictureTime_.load(), decoded = decodedTime_.load();
    if (shown + frameMs_.load() > t || decoded + CVideoPort::kCatchUpLimitMs < t) return false;
    // A picture decoded and waiting to be shown: an earlier one is waited
    // for, one of the same time (or later) is shown alongside. So waits go
    // from later pictures to earlier ones only, never round in a circle.
    if (decoded > shown) return decoded < t;
    // Dropping records up to its next key frame, it has nothing to show
    // before that.
    if (const uint64_t key = skippingTo_.load(); key != 0 && key > t) return false;
    uint64_t next = takingTime_.load();
    // A decoder stuck on one record (a damaged stream can take long) is not
    // waited for once the gate's longest wait has passed.
    const auto taking = Clock::now() - Clock::time_point(Clock::duration(takingSince_.load()));
    if (next != 0 && taking > std::chrono::milliseconds(kDecodeWaitIntervals * frameMs_.load())) return false;
    if (next == 0) {
        CxLock queue(queueLock_);
        if (queue_.empty()) return false;
        next = queue_.front().record->Header().timestamp;
    }
    return next <= t;
}

bool CVideoDraw::HoldsUnshown(uint64_t t) const {
    if (!IsRunning() || hold.load()) return false;
    const uint64_t decoded = decodedTime_.load();
    return decoded > pictureTime_.load() && decoded <= t;
}

size_t CVideoDraw::QueueCount() {
    CxLock queue(queueLock_);
    return queue_.size();
}

bool CVideoDraw::Idle() {
    // The decoding thread holds the decode lock from taking a record until
    // it is decoded.
    if (!decodeLock_.Lock(0)) return false;
    const bool empty = QueueCount() == 0 && !(endOfData_.load() && !held_.empty());
    decodeLock_.Unlock();
    return empty;
}

std::vector<uint64_t> CVideoDraw::QueuedTimestamps() {
    CxLock queue(queueLock_);
    std::vector<uint64_t> out;
    for (const Queued& q : queue_) out.push_back(q.record->Header().timestamp);
    return out;
}

std::unique_ptr<CxMemUnit> CVideoDraw::TakeQueued() {
    CxLock queue(queueLock_);
    if (queue_.empty()) return nullptr;
    std::unique_ptr<CxMemUnit> head = std::move(queue_.front().record);
    queue_.pop_front();
    return head;
}

void CVideoDraw::Feed(std::unique_ptr<CxMemUnit> record, bool show) {
    if (!record) return;
    CxLock decode(decodeLock_);
    const RecordHeader header = record->Header();
    if (StreamHidden()) owner_.NoteShown(header.timestamp);
    else DecodeRecord(*record, show);
    // The decoder holds what the records after this one refer to: whatever
    // was being shed before the move is decoded again.
    shedding_.Restart(header.flag == 1, header.timestamp);
    skippingTo_ = 0;
}

std::optional<RecordHeader> CVideoDraw::NextQueued() {
    CxLock queue(queueLock_);
    if (queue_.empty()) return std::nullopt;
    return queue_.front().record->Header();
}

int CVideoDraw::DecodeRecord(const CxMemUnit& record, bool show, bool referencesOnly) {
    const RecordHeader header = record.Header();
    const uint32_t length = header.length;
    // The stored length must be there in the unit (a payload too long to be
    // read is not kept) and fit the input buffer.
    if (length == 0 || input_.empty() || length > record.PayloadSize() ||
        length > input_.size())
        return 0;
    if (!deferPresent_) pendingTime_ = 0;  // this picture replaces one the decoding thread holds back
    std::memcpy(input_.data(), record.Payload(), length);
    // The channel's shown time moves on to the picture this record gives.
    const uint64_t next = threaded_ ? OldestHeld() : header.timestamp;
    if (next) owner_.NoteShown(next);
    if (threaded_) {
        held_.push_back(header.timestamp);
        // Records that never gave a picture (damaged ones) are forgotten.
        if (held_.size() > kMaxHeld) held_.pop_front();
    }
    if (header.flag == 1) needsKey_ = false;
    if (env_.onDecode) env_.onDecode(owner_.Index(), header);

    const Outcome outcome = RunDecoder(input_.data(), length, header.timestamp,
                                       referencesOnly ? Feeding::kReferencesOnly : Feeding::kAll, show);
    Keep(outcome);
    return outcome.pictures;
}

void CVideoDraw::DrainHeld() {
    if (!threaded_ || held_.empty()) return;
    owner_.NoteShown(OldestHeld());
    const Outcome outcome = RunDecoder(nullptr, 0, 0, Feeding::kEnd, true);
    // The decoder has started afresh: the next record it can use is a key frame.
    held_.clear();
    needsKey_ = true;
    Keep(outcome);
}

CVideoDraw::Outcome CVideoDraw::RunDecoder(const uint8_t* data, uint32_t length, uint64_t time, Feeding feeding,
                                           bool show) {
    Outcome outcome;
    if (h265_) {
        IHW265D_InArgs in{};
        in.stream = data;
        in.length = length;
        in.timestamp = time;
        in.decodeMode = feeding == Feeding::kEnd              ? IHW265D_DECODE_FLUSH
                        : feeding == Feeding::kReferencesOnly ? IHW265D_DECODE_SKIP_NONREF
                                                              : IHW265D_DECODE_NORMAL;
        for (int i = 0; i < kMaxPicturesPerRecord; ++i) {
            IHW265D_OutArgs out{};
            out.status = 3;
            IHW265D_Decode(h265_, &in, &out);
            if (out.status != IHW265D_PICTURE_READY) break;  // used up, nothing more, or failed
            TakePicture(HevcPicture(out), out.timestamp, time, show, outcome);
            const uint32_t used = out.bytesConsumed < in.length ? out.bytesConsumed : in.length;
            in.stream += used;
            in.length -= used;
        }
    } else if (h264_) {
        Hi264DecPicture picture{};
        const uint32_t flags = feeding == Feeding::kEnd              ? kHi264DecEndOfStream
                               : feeding == Feeding::kReferencesOnly ? kHi264DecSkipNonReference
                                                                     : 0;
        int32_t r = Hi264DecFrame(h264_, data, length, time, &picture, flags);
        for (int i = 0; i < kMaxPicturesPerRecord; ++i) {
            if (r == kHi264DecPictureOut) TakePicture(H264Picture(picture), picture.timestamp, time, show, outcome);
            if (r == kHi264DecNeedMoreInput || r == kHi264DecNoMorePictures) break;
            picture = Hi264DecPicture{};
            r = Hi264DecFrame(h264_, nullptr, 0, 0, &picture, flags);
        }
    }
    return outcome;
}

void CVideoDraw::TakePicture(const PictureRef& p, uint64_t pts, uint64_t recordTime, bool show, Outcome& outcome) {
    ++picturesDecoded_;
    ++outcome.pictures;
    uint64_t t = recordTime;
    if (threaded_) {
        // The picture of an earlier record: the decoder passes its time on.
        // Should that time be none the decoder was given, the oldest is taken.
        const auto it = std::find(held_.begin(), held_.end(), pts);
        if (it != held_.end()) {
            t = pts;
            held_.erase(held_.begin(), it + 1);
        } else if (!held_.empty()) {
            t = held_.front();
            held_.pop_front();
        }
    }
    if (show && KeepPicture(p)) {
        outcome.kept = true;
        outcome.time = t;
    }
}

void CVideoDraw::Keep(const Outcome& outcome) {
    if (!outcome.kept) return;
    decodedTime_ = outcome.time;
    if (deferPresent_) pendingTime_ = outcome.time;
    else PresentKept(outcome.time);
}

bool CVideoDraw::KeepPicture(const PictureRef& p) {
    if (p.width <= 0 || p.height <= 0 || !p.plane[0] || !p.plane[1] || !p.plane[2]) return false;
    const size_t w = size_t(p.width), h = size_t(p.height), cw = w / 2, ch = h / 2;
    CxLock picture(pictureLock_);
    if (p.width != pictureWidth_ || p.height != pictureHeight_ || planeY_.empty()) {
        try {
            planeY_.assign(w * h, 0);
            planeU_.assign(ch * cw, 128);
            planeV_.assign(ch * cw, 128);
            pictureWidth_ = p.width;
            pictureHeight_ = p.height;
        } catch (const std::bad_alloc&) {
            planeY_.clear();
            planeU_.clear();
            planeV_.clear();
            pictureWidth_ = pictureHeight_ = 0;
            return false;
        }
    }
    for (size_t r = 0; r < h; ++r) std::memcpy(&planeY_[r * w], p.plane[0] + r * size_t(p.pitch[0]), w);
    for (size_t r = 0; r < ch; ++r) {
        std::memcpy(&planeU_[r * cw], p.plane[1] + r * size_t(p.pitch[1]), cw);
        std::memcpy(&planeV_[r * cw], p.plane[2] + r * size_t(p.pitch[2]), cw);
    }
    return true;
}

void CVideoDraw::PresentKept(uint64_t t) {
    pendingTime_ = 0;
    pictureTime_ = t;
    // A hidden channel keeps its picture for snapshots and shows nothing.
    if (visible_.load() && ShowPlanes()) ++picturesShown_;
}

bool CVideoDraw::ShowPlanes() {
    // The planes change only under the decode lock, held here: they are read
    // without the picture lock once their size is known.
    PictureRef packed;
    {
        CxLock picture(pictureLock_);
        if (planeY_.empty()) return false;
        packed.width = pictureWidth_;
        packed.height = pictureHeight_;
        packed.plane[0] = planeY_.data();
        packed.plane[1] = planeU_.data();
        packed.plane[2] = planeV_.data();
        packed.pitch[0] = pictureWidth_;
        packed.pitch[1] = packed.pitch[2] = pictureWidth_ / 2;
    }
    CxLock render(renderLock_);
    if (!ready_.load() || !output_) return false;
    output_->Present(packed);
    return true;
}

// Exposed again, the window shows the kept picture once more (one decoded
// and about to be shown in step, a little early). Decoding its record again
// would not do: an H.264 decoder given a picture it has already decoded
// predicts it from itself, and every picture after it up to the next key
// frame from that wrong one; an H.265 decoder rejects it.
void CVideoDraw::OnPaint() {
    if (!ready_.load() || !visible_.load()) return;  // the window paints black
    CxLock decode(decodeLock_);
    if (decodedTime_.load() != 0) ShowPlanes();
}

void CVideoDraw::OnSize() {
    if (!ready_.load()) return;
    CxLock render(renderLock_);
    DestroyOutput();
    CreateOutput();
}

bool CVideoDraw::CopyPicture(std::vector<uint8_t>& bgr, int& width, int& height) {
    CxFileReader* reader = owner_.Reader();
    if (!reader) return false;
    width = reader->GetWidth();
    height = reader->GetHeight();
    {
        CxLock picture(pictureLock_);
        if (planeY_.empty()) return false;
        PackedPicture p{planeY_.data(), planeU_.data(), planeV_.data(), pictureWidth_, pictureHeight_};
        bgr = ConvertToBgr24(p, width, height);
    }
    return !bgr.empty();
}

bool CVideoDraw::SavePicture(const std::string& path) {
    std::vector<uint8_t> bgr;
    int width = 0, height = 0;
    return CopyPicture(bgr, width, height) && WriteBmp24(path, bgr, width, height);
}

}  // namespace corvane
