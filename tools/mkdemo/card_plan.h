#pragma once
// What the demo card holds: every recording with its container version,
// layout, picture size, codec, channels, sound, GPS, alarm marks and damage,
// and the file names the recorder gives it.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "codecs/video_encoder.h"
#include "scene.h"

namespace corvane::demo {

enum class Layout {
    kSingleFile,    // one file, one channel
    kMultiPart,     // one file per channel, the same start time in every name
    kMultiChannel,  // one file holding several channels
};

struct ChannelPlan {
    int number = 1;       // shown in the picture; the slot's channel number in a multi-channel file
    int audioType = -1;   // the reader's audio type, which picks the speech codec; -1: no sound
    bool gps = false;     // GPS records (file-wide records in a multi-channel file)
};

struct RecordingPlan {
    std::string folder;   // below the card's root
    std::string prefix;   // "H264", "H265", "HAY" or "cam"
    std::string version;  // container version, "V120" ... "V800"
    Layout layout = Layout::kSingleFile;
    VideoCodec codec = VideoCodec::kH264;
    int width = 704, height = 576;
    ClockTime start;      // local time of the first frame
    int seconds = 60;
    std::string tag = "01";  // last name field; "01".."13" marks multi-part alarm recordings
    std::vector<ChannelPlan> channels;
    std::vector<std::array<uint32_t, 3>> events;  // event table: start ms, kind, length s
    bool damaged = false;  // header and index as a power cut leaves them
    bool companionIndex = false;  // V300: the index in "<file>.idx" beside the recording
    int driveSecond = 0;   // seconds into the day's drive at the first frame (GPS)
    bool reverseDrive = false;
    std::string preset = "superfast";
    int crf = 28;
    // The video is encoded in pieces of this many seconds, each by its own
    // encoder, so that the threads share the work.
    int chunkSeconds = 10;
    std::string summary;  // one line for the card's description file
};

struct CardOptions {
    // Every recording 4 seconds long and half the picture size: the same
    // variety of files in a few megabytes, for tests.
    bool small = false;
};

std::vector<RecordingPlan> PlanCard(const CardOptions& options);

// The recording's files relative to the card's root: one for a single-file
// or multi-channel recording, one per channel (in channel order) for a
// multi-part one.
std::vector<std::string> RecordingFiles(const RecordingPlan& plan);

// Samples per stored speech frame: 40 ms in the one-channel-per-file versions
// (V700, V800), whose players play 640-byte sound blocks, else 20 ms.
int SpeechFrameSamples(const std::string& version);

// The clock `seconds` later on the same day.
ClockTime AddSeconds(const ClockTime& t, int seconds);

}  // namespace corvane::demo
