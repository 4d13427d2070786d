#pragma once
// Snapshots of a channel's current picture as uncompressed 24-bit BMP files:
// a 14-byte file header, a 40-byte information header, then the rows bottom-up,
// each W x 3 bytes in blue, green, red order padded to a multiple of 4 bytes.
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

struct PlanarPicture {
    const uint8_t* y = nullptr;  // width bytes per row
    const uint8_t* u = nullptr;  // width / 2 bytes per row, height / 2 rows
    const uint8_t* v = nullptr;
    int width = 0;
    int height = 0;
};

inline uint32_t BmpStride(int width) { return static_cast<uint32_t>((width * 24 + 31) / 32 * 4); }

// The whole file in memory; empty when the picture is empty.
std::vector<uint8_t> EncodeBmp(const PlanarPicture& picture);
// Writes the file; false when the picture is empty or the file cannot be written.
bool WriteBmp(const std::string& path, const PlanarPicture& picture);

// "2016_09_20_09": year, month, day and second of the local time `t`.
std::string SnapshotName(int64_t t);

}  // namespace corvane
