#pragma once
// How a channel whose decoder cannot keep up with its reading catches up
// without slowing the clock, the sound or the other channels down. The reading
// side queues records at the pace of the clock, so the lag of the record about
// to be decoded (how long it waited in the queue, or how far it lies behind
// the clock channel's picture) says how far the picture on screen has fallen
// behind. The channel sheds work in steps:
//   full          every record decoded;
//   non-reference a few frames behind, the decoder skips the pictures no
//                 other picture refers to;
//   key frames    when decoding on would still be behind once the next key
//                 frame is due (or the lag passes a second), the records up to
//                 that key frame are dropped before the decoder (the pictures
//                 after a dropped one could not be decoded anyway).
// A key frame is always decoded and starts full decoding again. So a channel
// that can decode only part of each group of pictures shows the first part of
// every group, and each group starts on time.
// The channels of a recording shed together: once one drops to its next key
// frame, the others drop to theirs too when it comes no later, so that no
// channel shows pictures past the one that stopped, and all go on together.
#include <cstdint>

namespace corvane {

class FrameShedding {
public:
    enum class Level { kFull, kNonReference, kKeyFrames };
    enum class Action { kDecode, kDecodeReferencesOnly, kDrop };

    // Frames behind at which the decoder skips unreferenced pictures.
    static constexpr uint64_t kNonReferenceLag = 2;
    // Lag after which a channel drops to its next key frame in any case.
    static constexpr uint64_t kMaxLagMs = 1000;

    // `frameMs`: the channel's frame interval (0: 40 ms).
    explicit FrameShedding(uint64_t frameMs = 40) : frameMs_(frameMs ? frameMs : 40) {}

    // What to do with the next record: its key flag and time (ms), its lag as
    // above (wall ms), how many times faster than real time it plays, and for
    // a channel other than the clock channel the clock's time (ms; 0 for the
    // clock channel itself), and the key frame another channel drops to (ms;
    // 0: none).
    Action Next(bool keyFrame, uint64_t timestamp, uint64_t lagMs, int speed = 1, uint64_t clockMs = 0,
                uint64_t othersKeyMs = 0);
    // The time of the key frame this channel drops to (0: it does not, or
    // does not know when that comes).
    uint64_t DroppingTo() const;
    // How long decoding the last record took (wall ms).
    void Decoded(double ms);
    // Full decoding from the next record on, as after a key frame: the
    // decoder was fed elsewhere, last with the record of `timestamp`. The
    // decoding time seen so far is kept.
    void Restart(bool keyFrame, uint64_t timestamp);
    Level Current() const { return level_; }

private:
    uint64_t frameMs_;
    Level level_ = Level::kFull;
    bool keySeen_ = false;
    uint64_t lastKey_ = 0;     // time of the last key frame
    uint64_t keyDistance_ = 1000;  // between the last two key frames; recorders write one a second
    double decodeMs_ = 0;      // running average
};

}  // namespace corvane
