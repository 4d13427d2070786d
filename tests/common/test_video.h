#pragma once
// Tiny video clips encoded at test time, and the checks the decoder tests
// share: the picture a clip was made from, and how far a decoded plane is
// from it.
#include <cstdint>
#include <vector>

#include "codecs/video_encoder.h"

namespace corvane::test {

// A picture that differs from frame to frame: a diagonal luma gradient moving
// with `index`, a bright block travelling across, and U and V gradients in
// different directions (so that swapped chroma planes show).
Yuv420Image TestPicture(int width, int height, int index);

// `count` pictures TestPicture(width, height, first + i), one key frame every
// 25. Fails the running test when the encoder does.
std::vector<EncodedUnit> EncodeTestClip(VideoCodec codec, int width, int height, int count,
                                        int first = 0, int bFrames = 0);

// Mean absolute difference between a decoded plane and the expected one.
double PlaneError(const uint8_t* plane, int stride, const std::vector<uint8_t>& expected,
                  int rowBytes, int rows);

}  // namespace corvane::test
