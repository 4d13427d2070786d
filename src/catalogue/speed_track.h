#pragma once
// The vehicle's speed over a recording, from the GPS records between its
// frames: what the day timeline draws along the recordings.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

struct SpeedSample {
    uint32_t ms = 0;   // from the recording's first frame
    float speed = 0;   // as the recorder stores it (km/h)
};

// The speeds of the valid fixes ("A") of the first of `files` that holds any,
// in file order. Records that are neither video nor audio are read on their
// own where the format keeps them apart, so the video is skipped, not read.
// A file no reader accepts, or a damaged one, gives what could be read.
// `cancel`, when given and set, ends the reading early.
std::vector<SpeedSample> ReadSpeedTrack(const std::vector<std::string>& files,
                                        const std::atomic<bool>* cancel = nullptr);

}  // namespace corvane
