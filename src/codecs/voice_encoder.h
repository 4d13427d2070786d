#pragma once
// Speech encoder for the stored frames of voice_format.h: what the speech
// decoder (hi_voice.h) reads back, mode for mode.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

// Encodes 8000 Hz 16-bit mono samples into frames of `samplesPerFrame`
// samples each (a positive multiple of 8; the last frame is padded with
// silence), each behind the 4-byte frame header when `withHeader` is set.
// Each call starts the codec afresh. Nothing for a mode outside the table, a
// frame size that does not fit, or an encoder failure.
std::optional<std::vector<std::vector<uint8_t>>> EncodeVoiceFrames(int mode, const int16_t* pcm,
                                                                   size_t count,
                                                                   size_t samplesPerFrame,
                                                                   bool withHeader);

}  // namespace corvane
