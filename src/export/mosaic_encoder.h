#pragma once
// The mosaic's video encoder: libx264 through libavcodec, 8-bit 4:2:0,
// constant quality (CRF) at a speed preset, its parameter sets in the MP4
// sample entry. The packets go to an Mp4Writer stream.
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace corvane {

class Mp4Writer;

struct H264Settings {
    int width = 0, height = 0;  // even
    int frameRate = 25;
    int crf = 23;
    std::string preset = "veryfast";
};

class MosaicEncoder {
public:
    // Null with `error` set when libx264 is missing or refuses the settings.
    static std::unique_ptr<MosaicEncoder> Open(const H264Settings& settings, std::string& error);
    ~MosaicEncoder();
    MosaicEncoder(const MosaicEncoder&) = delete;
    MosaicEncoder& operator=(const MosaicEncoder&) = delete;

    const AVCodecContext* Context() const { return codec_; }
    // Encodes the frame (pts in 1/frameRate) and writes the packets that are
    // ready to the writer's stream; null drains the encoder. False when
    // encoding or writing failed (`Error`, or the writer's).
    bool Encode(const AVFrame* frame, Mp4Writer& writer, int stream);
    const std::string& Error() const { return error_; }
    int64_t Frames() const { return frames_; }

private:
    MosaicEncoder() = default;

    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t frames_ = 0;  // frames handed to the encoder
    std::string error_;
};

}  // namespace corvane
