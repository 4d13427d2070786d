#pragma once
// Video output that keeps pictures in memory instead of showing them: used by
// tests and by `corvane play`. Present copies the picture as an upload to a
// texture would, so that a headless run costs what a shown one does.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "playback/video_output.h"

namespace corvane {

class MemoryVideoOutput : public VideoOutput {
public:
    bool Create(int width, int height, bool* accelerated) override;
    void Destroy() override;
    void Present(const PictureRef& picture) override;

    // What the output holds now, for tests.
    struct Snapshot {
        bool exists = false;
        int textureWidth = 0, textureHeight = 0;
        int pictureWidth = 0, pictureHeight = 0;
        std::vector<uint8_t> y, u, v;  // packed planes of the last picture
    };
    Snapshot Current();

    // Set before Create by tests.
    std::atomic<bool> failCreate{false};
    std::atomic<bool> accelerated{true};

    std::atomic<uint64_t> presents{0};
    std::atomic<uint64_t> creates{0};
    std::atomic<uint64_t> destroys{0};

private:
    std::mutex mutex_;  // guards snapshot_: presenting thread writes, tests read
    Snapshot snapshot_;
};

// Hands out MemoryVideoOutputs and keeps a pointer to each (the draw window
// owns it) so that tests can look at them.
class MemoryVideoOutputFactory : public VideoOutputFactory {
public:
    std::unique_ptr<VideoOutput> NewOutput(int channel) override;
    // Null before the channel's output was made. Every output lives as long as
    // the group that asked for it.
    MemoryVideoOutput* Output(int channel);
    // Set before the group is created: outputs of these channels fail Create.
    std::vector<int> failing;

private:
    std::mutex mutex_;
    MemoryVideoOutput* outputs_[8] = {};
};

}  // namespace corvane
