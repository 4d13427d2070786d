#pragma once
// Recordings with real video and sound for the export tests, the outside
// tools that check the AVI files, and a walker over an AVI file's chunks.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/day_video.h"
#include "codecs/video_encoder.h"
#include "recwriter.h"

namespace corvane::test {

constexpr int kClipWidth = 64;
constexpr int kClipHeight = 48;

struct ClipOptions {
    std::string version = "V700";  // V700 or V800
    VideoCodec codec = VideoCodec::kH264;
    uint32_t seconds = 6;
    uint64_t startMs = 5000;
    int audioType = -1;   // -1: no sound; else the stream's audio type
    uint8_t channel = 0;  // the channel selector the file is read with
    int width = kClipWidth, height = kClipHeight;
    int firstPicture = 0;  // frame i shows TestPicture(width, height, firstPicture + i)
    bool gps = false;
    bool index = true;  // false: no index and no length, as after a power cut
    // Alarm events (start ms from the recording's start, input, seconds): the
    // clip is written as a V502 file of one channel, whose table holds them.
    std::vector<std::array<uint32_t, 3>> events;
    // Records as stored, changed before writing (damage, extra records).
    void (*edit)(std::vector<rec::Record>&) = nullptr;
};

// 25 frames a second, a key frame with its parameter sets at every second;
// sound (when asked) every 40 ms, 320 samples a frame, encoded with the
// speech codec the playback uses for that audio type.
void WriteClip(const std::string& path, const ClipOptions& options);

// The tone that WriteClip encodes, sample n at 8000 Hz.
int16_t ToneSample(uint64_t n);
// Reset mode of the speech codec for an audio type (the playback's table).
int VoiceModeFor(int audioType);

// A day of recordings made of the given files (several files: one part file
// per channel). Start times are local times of that day.
struct RecordingFiles {
    int hour = 0, minute = 0, second = 0;
    std::vector<std::string> files;
};
std::unique_ptr<CDayVideo> MakeDay(int year, int month, int day, const std::vector<RecordingFiles>& recordings);

// What ffprobe says about a file's streams and how ffmpeg decodes it.
struct ProbedStream {
    std::string type, codec;
    int width = 0, height = 0;
    std::string frameRate;  // "25/1"
    long frames = -1;       // from the header
    long decodedFrames = -1;
    int channels = 0, sampleRate = 0;
    double duration = 0;  // audio: of the samples that decode
};
bool HaveFfmpeg();
std::vector<ProbedStream> Probe(const std::string& file);
// What `ffmpeg -v error -i FILE -f null -` prints on standard error.
std::string DecodeErrors(const std::string& file);

// What a command prints on standard output.
std::string RunCommand(const std::string& command);
// The MD5 of each decoded picture of the file's first video stream (ffmpeg's
// framemd5), in order.
std::vector<std::string> VideoFrameMd5s(const std::string& file);

// The chunks of an AVI file's data area, as stored.
struct AviChunk {
    std::string id;
    uint32_t offset;
    std::vector<uint8_t> data;
};
std::vector<AviChunk> ReadAviChunks(const std::string& file);
std::vector<uint8_t> ReadBytes(const std::string& file);

}  // namespace corvane::test
