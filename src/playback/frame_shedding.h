#pragma once
// How a channel whose decoder cannot keep up with its reading catches up
// without slowing the others down. The reading side queues records at the pace
// of the clock, so the lag of the record about to be decoded (how long it
// waited in the queue, or how far it lies behind the clock channel's picture)
// says how far the picture on screen has fallen behind. The channel sheds
// work in steps:
//   full          every record decoded;
//   non-reference the decoder skips the pictures no other picture refers to;
//   key frames    records other than key frames are dropped before the
//                 decoder (the pictures after a dropped one could not be
//                 decoded anyway), up to the next key frame.
// A key frame is always decoded; after it the channel decodes in full again
// once it has caught up, and goes on dropping up to the next one otherwise.
#include <cstdint>

namespace corvane {

class FrameShedding {
public:
    enum class Level { kFull, kNonReference, kKeyFrames };
    enum class Action { kDecode, kDecodeReferencesOnly, kDrop };

    // The lag at which each step begins, in frame intervals.
    static constexpr uint64_t kNonReferenceLag = 2;
    static constexpr uint64_t kKeyFrameLag = 6;

    // What to do with the next record: `lagMs` as above, `frameMs` the
    // channel's frame interval.
    Action Next(bool keyFrame, uint64_t lagMs, uint64_t frameMs);
    Level Current() const { return level_; }

private:
    Level level_ = Level::kFull;
};

}  // namespace corvane
