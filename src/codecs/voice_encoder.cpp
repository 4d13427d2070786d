#include "codecs/voice_encoder.h"

#include <algorithm>
#include <cstring>

#include "codecs/ima_adpcm_encoder.h"
#include "codecs/voice_format.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace corvane {

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

struct EncoderObjects {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    ~EncoderObjects() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
};

bool Drain(EncoderObjects& e, std::vector<uint8_t>& out) {
    int r;
    while ((r = avcodec_receive_packet(e.context, e.packet)) == 0) {
        out.insert(out.end(), e.packet->data, e.packet->data + e.packet->size);
        av_packet_unref(e.packet);
    }
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF;
}

// G.711 and G.726 through libavcodec, as one continuous byte stream; whole
// multiples of 8 samples make whole bytes at every rate.
std::optional<std::vector<uint8_t>> EncodeWithLibavcodec(const VoiceMode& mode,
                                                         const std::vector<int16_t>& pcm) {
    const AVCodec* codec = avcodec_find_encoder(AVCodecID(mode.avCodecId));
    if (!codec) return std::nullopt;
    EncoderObjects e;
    e.context = avcodec_alloc_context3(codec);
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    if (!e.context || !e.frame || !e.packet) return std::nullopt;
    e.context->sample_rate = 8000;
    e.context->sample_fmt = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&e.context->ch_layout, 1);
    e.context->bit_rate = int64_t(mode.bitsPerSample) * 8000;  // picks the G.726 rate
    e.context->bits_per_coded_sample = mode.bitsPerSample;
    if (avcodec_open2(e.context, codec, nullptr) < 0) return std::nullopt;

    const size_t chunk = e.context->frame_size > 0 ? size_t(e.context->frame_size) : 4096;
    std::vector<uint8_t> bytes;
    for (size_t at = 0; at < pcm.size(); at += chunk) {
        av_frame_unref(e.frame);
        e.frame->nb_samples = int(std::min(chunk, pcm.size() - at));
        e.frame->format = AV_SAMPLE_FMT_S16;
        e.frame->sample_rate = 8000;
        if (av_channel_layout_copy(&e.frame->ch_layout, &e.context->ch_layout) < 0 ||
            av_frame_get_buffer(e.frame, 0) < 0)
            return std::nullopt;
        std::memcpy(e.frame->data[0], pcm.data() + at, size_t(e.frame->nb_samples) * 2);
        if (avcodec_send_frame(e.context, e.frame) < 0 || !Drain(e, bytes)) return std::nullopt;
    }
    if (avcodec_send_frame(e.context, nullptr) < 0 || !Drain(e, bytes)) return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<Frames> EncodeVoiceFrames(int modeNumber, const int16_t* pcm, size_t count,
                                        size_t samplesPerFrame, bool withHeader) {
    const std::optional<VoiceMode> mode = FindVoiceMode(modeNumber);
    if (!mode || samplesPerFrame == 0 || samplesPerFrame % 8 != 0 || (!pcm && count > 0))
        return std::nullopt;
    const size_t frameCount = (count + samplesPerFrame - 1) / samplesPerFrame;
    std::vector<int16_t> padded(frameCount * samplesPerFrame, 0);
    if (count > 0) std::copy(pcm, pcm + count, padded.begin());

    std::vector<uint8_t> bytes;
    size_t payloadSize = samplesPerFrame * size_t(mode->bitsPerSample) / 8;
    if (mode->codec == VoiceCodec::kImaAdpcm) {
        ImaAdpcmEncoder ima;
        for (size_t f = 0; f < frameCount; ++f)
            ima.EncodeFrame(padded.data() + f * samplesPerFrame, samplesPerFrame, bytes);
        payloadSize += 4;  // the frame's own coder state
    } else if (auto encoded = EncodeWithLibavcodec(*mode, padded)) {
        bytes = std::move(*encoded);
    } else {
        return std::nullopt;
    }
    if (bytes.size() != frameCount * payloadSize) return std::nullopt;

    uint8_t header[kVoiceFrameHeaderSize];
    if (withHeader && !WriteVoiceFrameHeader(payloadSize, header)) return std::nullopt;
    Frames frames(frameCount);
    for (size_t f = 0; f < frameCount; ++f) {
        if (withHeader) frames[f].assign(header, header + kVoiceFrameHeaderSize);
        const uint8_t* start = bytes.data() + f * payloadSize;
        frames[f].insert(frames[f].end(), start, start + payloadSize);
    }
    return frames;
}

}  // namespace corvane
