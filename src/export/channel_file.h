#pragma once
// The file the conversion writes one channel into: the AVI file (video as
// stored, sound as PCM, frames back to back) or the MP4 file (video as stored,
// sound as AAC, the recorder's clock in the timing, a subtitle per second and
// a chapter per alarm).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

enum class ExportFormat { kAvi, kMp4 };

struct ChannelFormat {
    bool hevc = false;
    int width = 0, height = 0;
    int frameRate = 0;
    bool sound = false;  // the channel carries sound
};

class ChannelFile {
public:
    virtual ~ChannelFile() = default;
    // Once, before the first frame (or never, when the range has no frame).
    virtual void SetVideo(const ChannelFormat& format) = 0;
    // `ms`: when the recorder took the frame or sound, in milliseconds since
    // 1970 UTC (the recording's local start time converted, plus the record's
    // offset from it). False when the write failed.
    virtual bool WriteVideo(const uint8_t* data, size_t size, bool key, int64_t ms) = 0;
    virtual bool WriteAudio(const int16_t* pcm, size_t samples, int64_t ms) = 0;
    // An alarm event inside the span written.
    virtual void AddAlarm(int64_t startMs, int64_t endMs, const std::string& title) = 0;
    // Finishes the file; false when that failed.
    virtual bool Close() = 0;

    virtual uint32_t VideoFrames() const = 0;
    virtual uint64_t AudioBytes() const = 0;  // 16-bit PCM bytes written or encoded
    // After a failure: why, and whether the AVI size limit was reached.
    virtual std::string Failure() const = 0;
    virtual bool SizeLimitReached() const { return false; }
};

// Null with `error` set when the file cannot be created.
std::unique_ptr<ChannelFile> CreateAviChannelFile(const std::string& path, uint32_t sizeLimit, std::string& error);
std::unique_ptr<ChannelFile> CreateMp4ChannelFile(const std::string& path, std::string& error);

}  // namespace corvane
