#include "playback/frame_shedding.h"

#include <algorithm>

namespace corvane {
namespace {

// Key frames further apart than this are not taken for the stream's rhythm.
constexpr uint64_t kLongestKeyDistanceMs = 10000;

}  // namespace

FrameShedding::Action FrameShedding::Next(bool keyFrame, uint64_t timestamp, uint64_t lagMs, int speed,
                                          uint64_t clockMs, uint64_t othersKeyMs) {
    if (speed < 1) speed = 1;
    const bool behind = lagMs >= kNonReferenceLag * frameMs_;
    if (keyFrame) {
        if (keySeen_ && timestamp > lastKey_ && timestamp - lastKey_ <= kLongestKeyDistanceMs) {
            keyDistance_ = timestamp - lastKey_;
        }
        keySeen_ = true;
        lastKey_ = timestamp;
        level_ = behind ? Level::kNonReference : Level::kFull;
        return Action::kDecode;
    }
    if (level_ == Level::kKeyFrames) return Action::kDrop;
    // Wall time left before the next key frame is due; decoding this record
    // may overrun it by two frames (the lag then carries into the next
    // group). Once the clock channel is a frame into the next group, this
    // one is over.
    const bool known = keySeen_ && timestamp >= lastKey_;
    const uint64_t nextKey = lastKey_ + keyDistance_;
    const double untilKey = known ? double(nextKey - std::min(timestamp, nextKey)) / speed : 1e9;
    // Another channel drops to a key frame: when this one's next key frame
    // comes no later (give or take a frame), decoding on would show pictures
    // the other does not have.
    const bool withOthers = known && othersKeyMs > timestamp && nextKey <= othersKeyMs + frameMs_;
    if (withOthers || lagMs >= kMaxLagMs || (known && clockMs >= nextKey + frameMs_) ||
        double(lagMs) + decodeMs_ > untilKey + 2.0 * double(frameMs_)) {
        level_ = Level::kKeyFrames;
        return Action::kDrop;
    }
    level_ = behind ? Level::kNonReference : Level::kFull;
    return behind ? Action::kDecodeReferencesOnly : Action::kDecode;
}

void FrameShedding::Restart(bool keyFrame, uint64_t timestamp) {
    level_ = Level::kFull;
    keySeen_ = keyFrame;
    if (keyFrame) lastKey_ = timestamp;
}

uint64_t FrameShedding::DroppingTo() const {
    return level_ == Level::kKeyFrames && keySeen_ ? lastKey_ + keyDistance_ : 0;
}

void FrameShedding::Decoded(double ms) {
    decodeMs_ = decodeMs_ == 0 ? ms : 0.8 * decodeMs_ + 0.2 * ms;
}

}  // namespace corvane
