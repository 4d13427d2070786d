#pragma once
// H.264/H.265 encoder (libx264/libx265 through libavcodec) for generated
// video: 8-bit 4:2:0 pictures in, Annex-B access units out, one key frame
// every `gop` pictures with the parameter sets in front of it. Without
// B-frames (the default) every access unit decodes to its picture at once.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

enum class VideoCodec { kH264, kH265 };

struct VideoEncoderOptions {
    VideoCodec codec = VideoCodec::kH264;
    int width = 0;   // even
    int height = 0;  // even
    int frameRate = 25;
    int gop = 25;
    int bFrames = 0;  // B-frames between reference pictures; reorders the output
    int crf = 28;
    int threads = 1;  // 1 gives the same bytes on every run
    std::string preset = "veryfast";
};

// Packed planes: Y rows of width bytes, U and V rows of width / 2 bytes.
struct Yuv420Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, u, v;

    Yuv420Image() = default;
    Yuv420Image(int w, int h)
        : width(w), height(h), y(size_t(w) * h), u(size_t(w / 2) * (h / 2)),
          v(size_t(w / 2) * (h / 2)) {}
};

struct EncodedUnit {
    std::vector<uint8_t> data;  // Annex-B, start codes included
    bool keyFrame = false;
    int64_t index = 0;  // number of the picture it carries, from 0, in display order
};

class VideoEncoder {
public:
    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // False when the encoder is missing or refuses the options; `Error` says why.
    bool Open(const VideoEncoderOptions& options);
    // Appends the access units that are ready. The image has the opened size.
    bool Encode(const Yuv420Image& image, std::vector<EncodedUnit>& out);
    // Appends the access units still held; the encoder is finished afterwards.
    bool Flush(std::vector<EncodedUnit>& out);
    const std::string& Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace corvane
