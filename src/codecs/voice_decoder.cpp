#include "codecs/voice_decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace corvane {

VoiceDecoder::~VoiceDecoder() { Close(); }

void VoiceDecoder::Close() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
    mode_.reset();
}

bool VoiceDecoder::Reset(int mode) {
    Close();
    const std::optional<VoiceMode> found = FindVoiceMode(mode);
    if (!found) return false;
    const AVCodec* codec = avcodec_find_decoder(AVCodecID(found->avCodecId));
    if (!codec) return false;
    context_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!context_ || !packet_ || !frame_) {
        Close();
        return false;
    }
    context_->sample_rate = 8000;
    av_channel_layout_default(&context_->ch_layout, 1);
    context_->bits_per_coded_sample = found->bitsPerSample;  // G.726 and IMA need it
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return false;
    }
    mode_ = found;
    return true;
}

// Samples that a payload decodes to, before the IMA state sample is dropped.
size_t VoiceDecoder::SamplesIn(size_t payloadSize) const {
    switch (mode_->codec) {
    case VoiceCodec::kG711ALaw:
    case VoiceCodec::kG711MuLaw: return payloadSize;
    case VoiceCodec::kG726: return payloadSize * 8 / size_t(mode_->bitsPerSample);
    case VoiceCodec::kImaAdpcm:
        // libavcodec's block layout: the state sample, then 8 samples per 4 bytes.
        return payloadSize < 4 ? 0 : 1 + (payloadSize - 4) / 4 * 8;
    }
    return 0;
}

std::optional<size_t> VoiceDecoder::Decode(const uint8_t* frame, size_t size, int16_t* output,
                                           size_t capacity) {
    if (!mode_ || !frame || !output) return std::nullopt;
    const ByteRange payload = StripVoiceFrameHeader(frame, size);
    const bool ima = mode_->codec == VoiceCodec::kImaAdpcm;
    // libavcodec gives the IMA state as a sample of its own; the frame's state
    // is the coder's before its first sample, so that sample is not output.
    const size_t skip = ima ? 1 : 0;
    const size_t expected = SamplesIn(payload.size);
    if (expected <= skip || expected - skip > capacity) return std::nullopt;

    const uint8_t* data = payload.data;
    if (ima) {
        // libavcodec reads the step index as 16 bits; the byte after it is reserved.
        imaFrame_.assign(payload.data, payload.data + payload.size);
        imaFrame_[3] = 0;
        data = imaFrame_.data();
    }
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = int(payload.size);
    const int sent = avcodec_send_packet(context_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    if (sent < 0) return std::nullopt;

    size_t produced = 0, skipped = 0;
    while (avcodec_receive_frame(context_, frame_) == 0) {
        if (frame_->format != AV_SAMPLE_FMT_S16 && frame_->format != AV_SAMPLE_FMT_S16P) {
            av_frame_unref(frame_);
            continue;
        }
        // Mono: packed and planar 16-bit both hold the samples in plane 0.
        const auto* samples = reinterpret_cast<const int16_t*>(frame_->extended_data[0]);
        size_t n = size_t(frame_->nb_samples);
        const size_t drop = std::min(n, skip - skipped);
        skipped += drop;
        n = std::min(n - drop, capacity - produced);
        std::memcpy(output + produced, samples + drop, n * sizeof(int16_t));
        produced += n;
        av_frame_unref(frame_);
    }
    if (produced == 0) return std::nullopt;
    return produced;
}

}  // namespace corvane
