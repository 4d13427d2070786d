#pragma once
// Snapshot pictures: a 4:2:0 picture converted to 24-bit colour and written
// as an uncompressed BMP file (14-byte file header, 40-byte information
// header, rows bottom-up in blue, green, red order, each padded to a multiple
// of four bytes).
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// Packed planes: Y rows of width bytes, U and V rows of width / 2 bytes,
// height / 2 chroma rows.
struct PackedPicture {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    int width = 0;
    int height = 0;
};

// Converts to `width` x `height` pixels, top row first, three bytes each in
// blue, green, red order:
//   R = Y + 1.402 (V - 128), G = Y - 0.34414 (U - 128) - 0.71414 (V - 128),
//   B = Y + 1.772 (U - 128),
// each truncated toward zero, then clamped to 0..255. Pixels the picture
// does not cover (a picture smaller than the size asked for) are black.
std::vector<uint8_t> ConvertToBgr24(const PackedPicture& picture, int width, int height);

// Writes top-down BGR pixels as a BMP; false when the file cannot be written.
bool WriteBmp24(const std::string& path, const std::vector<uint8_t>& bgr, int width, int height);

}  // namespace corvane
