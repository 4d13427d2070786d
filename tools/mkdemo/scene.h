#pragma once
// The picture a demo channel shows: a scrolling street scene tinted per
// channel, a vehicle moving across it, and large seven-segment text with the
// channel number and the recording clock (down to the frame), so that a
// viewer sees at a glance whether the channels of a recording run in step.
#include <cstdint>
#include <vector>

#include "codecs/video_encoder.h"

namespace corvane::demo {

struct ClockTime {
    int year = 2016, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

class Scene {
public:
    // `channel` is the number shown (1..8); it also picks the tint, the
    // direction and the speed of the movement.
    Scene(int width, int height, int channel);

    // Draws picture `frame` (counted from the start of the recording) of a
    // recording whose clock reads `clock` at that frame's second; `frameInSecond`
    // is the frame's number within that second.
    void Render(int64_t frame, const ClockTime& clock, int frameInSecond, Yuv420Image& out) const;

private:
    int width_, height_, channel_;
    int period_;     // the background repeats after this many pixels
    int speed_;      // pixels per frame, negative to the left
    int horizon_;    // first row of the ground
    std::vector<uint8_t> stripY_, stripU_, stripV_;  // (width + period) wide
};

}  // namespace corvane::demo
