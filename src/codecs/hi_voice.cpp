#include "codecs/hi_voice.h"

#include "codecs/voice_decoder.h"

HiVoiceDecoderState::HiVoiceDecoderState() = default;
HiVoiceDecoderState::~HiVoiceDecoderState() = default;

int32_t HI_VOICE_DecReset(HiVoiceDecoderState* state, int32_t mode) {
    if (!state) return kHiVoiceBadArgument;
    if (!state->decoder) state->decoder = std::make_unique<corvane::VoiceDecoder>();
    return state->decoder->Reset(mode) ? kHiVoiceOk : kHiVoiceBadMode;
}

int32_t HI_VOICE_DecodeFrame(HiVoiceDecoderState* state, const uint8_t* input, int16_t* output,
                             uint32_t* length) {
    if (!state || !input || !output || !length) return kHiVoiceBadArgument;
    if (!state->decoder || !state->decoder->IsReady()) return kHiVoiceBadMode;
    const auto samples =
        state->decoder->Decode(input, *length, output, kHiVoiceMaxFrameSamples);
    if (!samples) return kHiVoiceBadFrame;
    *length = uint32_t(*samples);
    return kHiVoiceOk;
}
