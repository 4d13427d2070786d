#pragma once
// One speech decoding session over libavcodec: stored frames of one reset
// mode (voice_format.h) in, 8000 Hz 16-bit mono samples out. The codec state
// carries over from frame to frame.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "codecs/voice_format.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace corvane {

class VoiceDecoder {
public:
    VoiceDecoder() = default;
    ~VoiceDecoder();
    VoiceDecoder(const VoiceDecoder&) = delete;
    VoiceDecoder& operator=(const VoiceDecoder&) = delete;

    // Starts afresh with the codec of `mode`; false for a mode outside the
    // table (the decoder is then unusable until the next successful reset).
    bool Reset(int mode);
    bool IsReady() const { return mode_.has_value(); }

    // Decodes one frame (with or without the frame header) into at most
    // `capacity` samples. Nothing when the frame cannot be decoded or would
    // not fit; no sample is written then.
    std::optional<size_t> Decode(const uint8_t* frame, size_t size, int16_t* output,
                                 size_t capacity);

private:
    void Close();
    size_t SamplesIn(size_t payloadSize) const;

    std::optional<VoiceMode> mode_;
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    std::vector<uint8_t> imaFrame_;  // IMA payload with its reserved byte cleared
};

}  // namespace corvane
