#include "codecs/ima_adpcm_encoder.h"

#include <algorithm>
#include <cstdlib>

namespace corvane {

namespace {

constexpr int16_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int kIndexAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

}  // namespace

uint8_t ImaAdpcmEncoder::EncodeSample(int sample) {
    const int step = kStepTable[stepIndex_];
    const int diff = sample - predictor_;
    // Magnitude code d reconstructs as (2d + 1) * step / 8.
    const int magnitude = std::min(7, std::abs(diff) * 4 / step);
    const int delta = ((2 * magnitude + 1) * step) >> 3;
    predictor_ = std::clamp(diff < 0 ? predictor_ - delta : predictor_ + delta, -32768, 32767);
    stepIndex_ = std::clamp(stepIndex_ + kIndexAdjust[magnitude], 0, 88);
    return uint8_t(magnitude | (diff < 0 ? 8 : 0));
}

void ImaAdpcmEncoder::EncodeFrame(const int16_t* pcm, size_t count, std::vector<uint8_t>& out) {
    const auto predictor = uint16_t(int16_t(predictor_));
    out.push_back(uint8_t(predictor & 0xFF));
    out.push_back(uint8_t(predictor >> 8));
    out.push_back(uint8_t(stepIndex_));
    out.push_back(0);
    for (size_t i = 0; i + 1 < count; i += 2) {
        const uint8_t low = EncodeSample(pcm[i]);
        const uint8_t high = EncodeSample(pcm[i + 1]);
        out.push_back(uint8_t(low | (high << 4)));
    }
}

}  // namespace corvane
