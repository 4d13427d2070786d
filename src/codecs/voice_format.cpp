#include "codecs/voice_format.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace corvane {

std::optional<VoiceMode> FindVoiceMode(int mode) {
    switch (mode) {
    case 1: return VoiceMode{VoiceCodec::kG711ALaw, 8, AV_CODEC_ID_PCM_ALAW};
    case 2: return VoiceMode{VoiceCodec::kG711MuLaw, 8, AV_CODEC_ID_PCM_MULAW};
    case 3: return VoiceMode{VoiceCodec::kImaAdpcm, 4, AV_CODEC_ID_ADPCM_IMA_WAV};
    case 4: case 5: case 6: case 7:
        return VoiceMode{VoiceCodec::kG726, mode - 2, AV_CODEC_ID_ADPCM_G726};
    case 36: case 37: case 38: case 39:
        return VoiceMode{VoiceCodec::kG726, mode - 34, AV_CODEC_ID_ADPCM_G726LE};
    default: return std::nullopt;
    }
}

ByteRange StripVoiceFrameHeader(const uint8_t* frame, size_t size) {
    if (size >= kVoiceFrameHeaderSize && frame[0] == 0x00 && frame[1] == 0x01 &&
        frame[3] == 0x00 && size_t(frame[2]) * 2 == size - kVoiceFrameHeaderSize)
        return {frame + kVoiceFrameHeaderSize, size - kVoiceFrameHeaderSize};
    return {frame, size};
}

bool WriteVoiceFrameHeader(size_t payloadSize, uint8_t header[kVoiceFrameHeaderSize]) {
    if (payloadSize % 2 != 0 || payloadSize > kVoiceFrameMaxHeaderPayload) return false;
    header[0] = 0x00;
    header[1] = 0x01;
    header[2] = uint8_t(payloadSize / 2);
    header[3] = 0x00;
    return true;
}

int VoiceModeForAudioType(int audioType) {
    switch (audioType) {
    case 0: return 4;
    case 6: return 39;
    case 5: return 2;
    default: return 3;
    }
}

}  // namespace corvane
