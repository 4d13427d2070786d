#pragma once
// IMA ADPCM encoder for the DVI4 frames of voice_format.h (libavcodec has no
// encoder that writes frames of any length). Its reconstruction is the one
// libavcodec's IMA decoders use, so encoder and decoder stay in step.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

class ImaAdpcmEncoder {
public:
    // Appends one frame: the 4-byte state, then `count` samples (even) as
    // count / 2 bytes, low nibble first. The state carries over to the next frame.
    void EncodeFrame(const int16_t* pcm, size_t count, std::vector<uint8_t>& out);

private:
    uint8_t EncodeSample(int sample);

    int predictor_ = 0;
    int stepIndex_ = 0;
};

}  // namespace corvane
