#pragma once
// The speech decoder the playback and the conversion call: a decoder state
// kept by the caller, reset once with a mode (voice_format.h), then one stored
// frame per call turned into 8000 Hz 16-bit mono samples.
#include <cstdint>
#include <memory>

namespace corvane {
class VoiceDecoder;
}

// Most samples one frame may produce (40960 bytes of output); a frame that
// would decode to more is refused.
constexpr uint32_t kHiVoiceMaxFrameSamples = 20480;

// Results.
constexpr int32_t kHiVoiceOk = 0;
constexpr int32_t kHiVoiceBadArgument = -1;
constexpr int32_t kHiVoiceBadMode = -2;      // unknown mode, or never reset
constexpr int32_t kHiVoiceBadFrame = -3;     // the frame cannot be decoded

// The caller keeps one per audio stream for as long as it decodes it; the
// codec state lives in it from frame to frame.
struct HiVoiceDecoderState {
    HiVoiceDecoderState();
    ~HiVoiceDecoderState();
    HiVoiceDecoderState(const HiVoiceDecoderState&) = delete;
    HiVoiceDecoderState& operator=(const HiVoiceDecoderState&) = delete;

    std::unique_ptr<corvane::VoiceDecoder> decoder;
};

int32_t HI_VOICE_DecReset(HiVoiceDecoderState* state, int32_t mode);

// `length`: on entry the frame's size in bytes; after kHiVoiceOk the number of
// samples written to `output`, which must hold kHiVoiceMaxFrameSamples. On
// failure nothing is written and `length` is left as it was.
int32_t HI_VOICE_DecodeFrame(HiVoiceDecoderState* state, const uint8_t* input, int16_t* output,
                             uint32_t* length);
