#pragma once
// Recordings with real H.264/H.265 video, speech audio and GPS fixes, written
// at run time in the one-file-per-channel versions (V700, V800): for the
// playback tests, the `corvane play` tests and the playback benchmarks.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/day_video.h"
#include "codecs/video_encoder.h"
#include "recwriter.h"

namespace corvane::test {

struct RecordingOptions {
    std::string version = "V800";
    int channels = 1;
    int width = 64, height = 48;
    int fps = 25;
    int seconds = 3;
    VideoCodec codec = VideoCodec::kH264;
    // Encoded video; false writes pattern payloads that no decoder accepts
    // (faster, for tests of the reading side only).
    bool realVideo = true;
    int crf = 30;
    std::string preset = "ultrafast";
    // Channels that carry sound: a 40 ms G.711 mu-law frame (audio type 5)
    // every 40 ms.
    std::vector<int> audioChannels;
    int audioType = 5;
    // Channels with a GPS fix each second.
    std::vector<int> gpsChannels;
    uint64_t startMs = 1000;
    std::string stamp = "20160920_190909";  // date and time in the file names
    std::string recorderName = "TEST-BUS";
};

// Annex-B access units of `count` pictures, one key frame every `gop`,
// cached per size and codec for the life of the process.
const std::vector<EncodedUnit>& EncodedClip(VideoCodec codec, int width, int height, int count, int gop,
                                            int crf = 30, const std::string& preset = "ultrafast");

// The records of one channel, ordered by time.
std::vector<rec::Record> ChannelRecords(const RecordingOptions& o, int channel);

// Writes the recording into `folder`: one file for a single channel
// (H264_<stamp>_N0_01.264), else one part file per channel
// (H264_<stamp>_C<n>_01.264). Returns the paths in channel order; empty on
// failure.
std::vector<std::string> WriteTestRecording(const std::string& folder, const RecordingOptions& o);

// A day holding one recording of the given files with its readers open.
struct OpenedRecording {
    std::unique_ptr<CDayVideo> day;
    CDiskVideo* recording = nullptr;
};
OpenedRecording OpenTestRecording(const std::vector<std::string>& paths);

}  // namespace corvane::test
