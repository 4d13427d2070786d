#include "codecs/hi_voice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "codecs/voice_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace corvane;

namespace {

constexpr size_t kFrame = 160;  // 20 ms
const int kModes[] = {1, 2, 3, 4, 5, 6, 7, 36, 37, 38, 39};

// One second of two tones with a slowly changing loudness, as speech-like as a
// test needs.
std::vector<int16_t> TestSignal(size_t count = 8000) {
    std::vector<int16_t> pcm(count);
    for (size_t i = 0; i < count; ++i) {
        const double t = double(i) / 8000;
        const double envelope = 0.6 + 0.4 * std::sin(2 * M_PI * 3 * t);
        pcm[i] = int16_t(envelope * (6000 * std::sin(2 * M_PI * 300 * t) +
                                     3000 * std::sin(2 * M_PI * 1100 * t)));
    }
    return pcm;
}

// Signal-to-noise ratio in dB, after the first 100 ms in which adaptive
// coders settle.
double Snr(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
    double signal = 0, noise = 0;
    for (size_t i = 800; i < reference.size() && i < decoded.size(); ++i) {
        signal += double(reference[i]) * reference[i];
        const double e = double(reference[i]) - decoded[i];
        noise += e * e;
    }
    return noise == 0 ? 99 : 10 * std::log10(signal / noise);
}

// Decodes frames as the audio thread does; every frame must decode.
std::vector<int16_t> DecodeAll(int mode, const std::vector<std::vector<uint8_t>>& frames) {
    HiVoiceDecoderState state;
    EXPECT_EQ(HI_VOICE_DecReset(&state, mode), kHiVoiceOk);
    std::vector<int16_t> pcm, output(kHiVoiceMaxFrameSamples);
    for (const auto& frame : frames) {
        uint32_t length = uint32_t(frame.size());
        EXPECT_EQ(HI_VOICE_DecodeFrame(&state, frame.data(), output.data(), &length), kHiVoiceOk);
        if (length > output.size()) return pcm;
        pcm.insert(pcm.end(), output.begin(), output.begin() + length);
    }
    return pcm;
}

std::vector<std::vector<uint8_t>> Encode(int mode, const std::vector<int16_t>& pcm,
                                         bool header = false, size_t frame = kFrame) {
    auto frames = EncodeVoiceFrames(mode, pcm.data(), pcm.size(), frame, header);
    EXPECT_TRUE(frames.has_value()) << "mode " << mode;
    return frames.value_or(std::vector<std::vector<uint8_t>>{});
}

double MinimumSnr(int mode) {
    switch (mode) {
    case 1: case 2: return 32;     // G.711, about 38 dB on this signal
    case 3: return 22;             // IMA ADPCM, about 26 dB
    case 4: case 36: return 14;    // G.726 16 kbit/s, about 18 dB
    case 5: case 37: return 22;    // 24 kbit/s, about 27 dB
    case 6: case 38: return 30;    // 32 kbit/s, about 35 dB
    default: return 35;            // 40 kbit/s, about 40 dB
    }
}

}  // namespace

TEST(HiVoice, EveryModeRoundTripsWithinCodecTolerance) {
    const std::vector<int16_t> pcm = TestSignal();
    for (int mode : kModes) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const auto frames = Encode(mode, pcm);
        ASSERT_EQ(frames.size(), pcm.size() / kFrame);
        const std::vector<int16_t> decoded = DecodeAll(mode, frames);
        ASSERT_EQ(decoded.size(), pcm.size());  // 160 samples per frame in every mode
        EXPECT_GT(Snr(pcm, decoded), MinimumSnr(mode));
    }
}

TEST(HiVoice, FrameHeaderIsRecognisedAndSkipped) {
    const std::vector<int16_t> pcm = TestSignal(1600);
    for (int mode : kModes) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const auto plain = Encode(mode, pcm);
        const auto headed = Encode(mode, pcm, true);
        ASSERT_EQ(headed.size(), plain.size());
        const size_t payload = plain[0].size();
        EXPECT_EQ(headed[0][0], 0x00);
        EXPECT_EQ(headed[0][1], 0x01);
        EXPECT_EQ(headed[0][2], payload / 2);
        EXPECT_EQ(headed[0][3], 0x00);
        EXPECT_EQ(DecodeAll(mode, headed), DecodeAll(mode, plain));
    }
}

// The byte after the IMA step index is reserved: whatever it holds, the frame
// decodes the same.
TEST(HiVoice, ImaReservedByteIsIgnored) {
    auto frames = Encode(3, TestSignal(1600));
    const std::vector<int16_t> expected = DecodeAll(3, frames);
    for (auto& frame : frames) frame[3] = 0xA5;
    EXPECT_EQ(DecodeAll(3, frames), expected);
}

// The two G.726 families differ in bit order: reading one as the other gives noise.
TEST(HiVoice, G726BitOrdersAreNotInterchangeable) {
    const std::vector<int16_t> pcm = TestSignal();
    EXPECT_LT(Snr(pcm, DecodeAll(38, Encode(6, pcm))), 3);
    EXPECT_LT(Snr(pcm, DecodeAll(6, Encode(38, pcm))), 3);
}

TEST(HiVoice, G711ModesAreALawAndMuLaw) {
    const std::vector<std::vector<uint8_t>> frame = {{0xD5, 0x55, 0xAA}};
    EXPECT_EQ(DecodeAll(1, frame), (std::vector<int16_t>{8, -8, 32256}));
    const std::vector<std::vector<uint8_t>> mu = {{0xFF, 0x80, 0x00}};
    EXPECT_EQ(DecodeAll(2, mu), (std::vector<int16_t>{0, 32124, -32124}));
}

// IMA frames from libavcodec's own encoder (its block layout: the coder state,
// then 8 samples per 4 bytes) decode to the samples after the state sample.
TEST(HiVoice, ImaFramesOfLibavcodecsEncoderDecode) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    ASSERT_NE(codec, nullptr);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = 8000;
    c->sample_fmt = AV_SAMPLE_FMT_S16P;
    av_channel_layout_default(&c->ch_layout, 1);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "block_size", "64", 0);
    ASSERT_EQ(avcodec_open2(c, codec, &options), 0);
    av_dict_free(&options);
    const size_t block = size_t(c->frame_size);  // 121 samples in 64 bytes
    const std::vector<int16_t> pcm = TestSignal(block * 60);

    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int16_t> expected;
    for (size_t at = 0; at + block <= pcm.size(); at += block) {
        frame->nb_samples = int(block);
        frame->format = c->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
        ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
        std::memcpy(frame->data[0], pcm.data() + at, block * 2);
        ASSERT_EQ(avcodec_send_frame(c, frame), 0);
        av_frame_unref(frame);
        while (avcodec_receive_packet(c, packet) == 0) {
            frames.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
        expected.insert(expected.end(), pcm.begin() + at + 1, pcm.begin() + at + block);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);

    ASSERT_EQ(frames.size(), 60u);
    const std::vector<int16_t> decoded = DecodeAll(3, frames);
    ASSERT_EQ(decoded.size(), expected.size());
    EXPECT_GT(Snr(expected, decoded), 20);
}

TEST(HiVoice, FramesThatCannotBeDecodedGiveNonZeroAndWriteNothing) {
    std::vector<int16_t> output(kHiVoiceMaxFrameSamples, 0x5A5A);
    auto attempt = [&](HiVoiceDecoderState& s, std::vector<uint8_t> frame) {
        const uint8_t none = 0;
        uint32_t length = uint32_t(frame.size());
        const int32_t r = HI_VOICE_DecodeFrame(&s, frame.empty() ? &none : frame.data(),
                                               output.data(), &length);
        EXPECT_EQ(length, frame.size());
        return r;
    };
    HiVoiceDecoderState fresh;
    EXPECT_EQ(attempt(fresh, {0xD5, 0xD5}), kHiVoiceBadMode);  // never reset
    EXPECT_NE(HI_VOICE_DecReset(&fresh, 8), kHiVoiceOk);
    EXPECT_NE(HI_VOICE_DecReset(&fresh, 35), kHiVoiceOk);
    EXPECT_EQ(attempt(fresh, {0xD5, 0xD5}), kHiVoiceBadMode);
    EXPECT_EQ(HI_VOICE_DecReset(nullptr, 1), kHiVoiceBadArgument);

    HiVoiceDecoderState alaw;
    ASSERT_EQ(HI_VOICE_DecReset(&alaw, 1), kHiVoiceOk);
    EXPECT_EQ(attempt(alaw, {}), kHiVoiceBadFrame);
    EXPECT_EQ(attempt(alaw, {0x00, 0x01, 0x00, 0x00}), kHiVoiceBadFrame);  // header, no payload
    uint32_t length = 2;
    const uint8_t two[2] = {0xD5, 0xD5};
    EXPECT_EQ(HI_VOICE_DecodeFrame(&alaw, nullptr, output.data(), &length), kHiVoiceBadArgument);
    EXPECT_EQ(HI_VOICE_DecodeFrame(&alaw, two, nullptr, &length), kHiVoiceBadArgument);
    EXPECT_EQ(HI_VOICE_DecodeFrame(&alaw, two, output.data(), nullptr), kHiVoiceBadArgument);
    EXPECT_EQ(HI_VOICE_DecodeFrame(nullptr, two, output.data(), &length), kHiVoiceBadArgument);

    // More samples than the output holds.
    EXPECT_EQ(attempt(alaw, std::vector<uint8_t>(kHiVoiceMaxFrameSamples + 1, 0xD5)),
              kHiVoiceBadFrame);
    HiVoiceDecoderState g726;
    ASSERT_EQ(HI_VOICE_DecReset(&g726, 4), kHiVoiceOk);  // 4 samples per byte
    EXPECT_EQ(attempt(g726, std::vector<uint8_t>(kHiVoiceMaxFrameSamples / 4 + 1, 0x11)),
              kHiVoiceBadFrame);

    HiVoiceDecoderState ima;
    ASSERT_EQ(HI_VOICE_DecReset(&ima, 3), kHiVoiceOk);
    EXPECT_EQ(attempt(ima, {0x10, 0x00, 89, 0x00, 0x12, 0x34, 0x56, 0x78}), kHiVoiceBadFrame);
    EXPECT_EQ(attempt(ima, {0x10, 0x00, 5, 0x00}), kHiVoiceBadFrame);  // state only

    for (int16_t s : output) ASSERT_EQ(s, 0x5A5A);
}

TEST(HiVoice, SurvivesArbitraryBytesInEveryMode) {
    std::mt19937 random(3);
    std::vector<int16_t> output(kHiVoiceMaxFrameSamples);
    for (int mode : kModes) {
        HiVoiceDecoderState state;
        ASSERT_EQ(HI_VOICE_DecReset(&state, mode), kHiVoiceOk);
        for (int i = 0; i < 50; ++i) {
            std::vector<uint8_t> frame(1 + random() % 700);
            for (auto& b : frame) b = uint8_t(random());
            uint32_t length = uint32_t(frame.size());
            if (HI_VOICE_DecodeFrame(&state, frame.data(), output.data(), &length) == kHiVoiceOk) {
                EXPECT_LE(length, kHiVoiceMaxFrameSamples);
            }
        }
    }
}

TEST(VoiceEncoder, WritesFramesOfTheModesSize) {
    const std::vector<int16_t> pcm = TestSignal(170);  // a tail of 10 samples
    const std::pair<int, size_t> sizes[] = {{1, 160}, {2, 160}, {3, 84},  {4, 40},
                                            {5, 60},  {6, 80},  {7, 100}, {39, 100}};
    for (auto [mode, bytes] : sizes) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const auto frames = Encode(mode, pcm);
        ASSERT_EQ(frames.size(), 2u);  // the tail padded to a whole frame
        EXPECT_EQ(frames[0].size(), bytes);
        EXPECT_EQ(frames[1].size(), bytes);
    }
    EXPECT_FALSE(EncodeVoiceFrames(8, pcm.data(), pcm.size(), 160, false));
    EXPECT_FALSE(EncodeVoiceFrames(1, pcm.data(), pcm.size(), 0, false));
    EXPECT_FALSE(EncodeVoiceFrames(1, pcm.data(), pcm.size(), 100, false));
    // 8 samples at 40 kbit/s are 5 bytes: no whole number of 16-bit words.
    EXPECT_FALSE(EncodeVoiceFrames(7, pcm.data(), pcm.size(), 8, true));
    // The header counts at most 255 words.
    EXPECT_FALSE(EncodeVoiceFrames(1, pcm.data(), pcm.size(), 512, true));
}
