#pragma once
// Where a channel's decoded pictures go. Each draw window owns one output for
// its whole life and creates, re-creates and destroys the presentation objects
// behind it as playback starts, the window changes size and playback stops.
//
// Threads: Create and Destroy come from the GUI thread, Present from the
// channel's decoding thread or, for a repaint, the GUI thread; the draw window
// serialises all of them with its render lock.
#include <cstdint>
#include <memory>

namespace corvane {

// An 8-bit 4:2:0 picture: Y plane of height rows, U and V planes of height / 2
// rows, each with its own pitch in bytes.
struct PictureRef {
    const uint8_t* plane[3] = {nullptr, nullptr, nullptr};
    int pitch[3] = {0, 0, 0};
    int width = 0;
    int height = 0;
};

class VideoOutput {
public:
    virtual ~VideoOutput() = default;
    // Creates the presentation objects for pictures of width x height (the
    // size the channel's reader reports). True on success; `accelerated` says
    // which renderer was taken. On failure nothing is left behind.
    virtual bool Create(int width, int height, bool* accelerated) = 0;
    // Releases what Create made; harmless when nothing exists.
    virtual void Destroy() = 0;
    // Shows one picture stretched over the whole output. Only called between
    // a successful Create and the next Destroy.
    virtual void Present(const PictureRef& picture) = 0;
};

// Makes the output of channel window `channel` (0 to 7).
class VideoOutputFactory {
public:
    virtual ~VideoOutputFactory() = default;
    virtual std::unique_ptr<VideoOutput> NewOutput(int channel) = 0;
};

}  // namespace corvane
