#pragma once
// One channel's video for the mosaic: the access units as stored (H.264 or
// H.265, the codec may change from one recording to the next) decoded by
// libavcodec, keeping only the newest picture. An access unit that does not
// decode is dropped together with everything up to the next key frame, so a
// damaged stretch costs pictures, not the channel.
#include <cstddef>
#include <cstdint>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace corvane {

class ChannelDecoder {
public:
    ChannelDecoder();
    ~ChannelDecoder();
    ChannelDecoder(const ChannelDecoder&) = delete;
    ChannelDecoder& operator=(const ChannelDecoder&) = delete;

    // `ms`: the record's time; the picture it decodes to carries it.
    void Decode(const uint8_t* data, size_t size, bool key, bool hevc, int64_t ms);
    // The newest picture decoded (null before the first) and its time.
    const AVFrame* Picture() const;
    int64_t PictureMs() const { return pictureMs_; }
    // Whether a codec could not be opened (the channel shows no picture).
    bool Unusable() const { return unusable_; }
    // Access units that did not decode (each starts a wait for a key frame).
    uint32_t Errors() const { return errors_; }

private:
    bool Open(bool hevc);

    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* decoded_ = nullptr;
    AVFrame* picture_ = nullptr;  // the newest picture, empty before the first
    int64_t pictureMs_ = -1;
    bool hevc_ = false;
    bool waitKey_ = true;  // after an error (and at the start), until a key frame
    bool unusable_ = false;
    uint32_t errors_ = 0;
};

}  // namespace corvane
