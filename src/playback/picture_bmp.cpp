#include "playback/picture_bmp.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "readers/byte_order.h"

namespace corvane {
namespace {

uint8_t Clamp(double value) {
    const int v = static_cast<int>(value);  // toward zero
    return v >= 256 ? 255 : v < 0 ? 0 : static_cast<uint8_t>(v);
}

}  // namespace

std::vector<uint8_t> ConvertToBgr24(const PackedPicture& p, int width, int height) {
    if (width <= 0 || height <= 0) return {};
    std::vector<uint8_t> out(size_t(width) * size_t(height) * 3, 0);
    const bool valid = p.y && p.u && p.v;
    const int rows = valid ? std::min(height, p.height) : 0;
    const int cols = valid ? std::min(width, p.width) : 0;
    const int chromaRow = p.width / 2;
    for (int r = 0; r < rows; ++r) {
        uint8_t* dst = &out[size_t(r) * width * 3];
        for (int c = 0; c < cols; ++c) {
            const double y = p.y[size_t(r) * p.width + c];
            const size_t ci = size_t(r / 2) * chromaRow + c / 2;
            const bool hasChroma = c / 2 < chromaRow && r / 2 < p.height / 2;
            const double u = hasChroma ? p.u[ci] - 128.0 : 0.0;
            const double v = hasChroma ? p.v[ci] - 128.0 : 0.0;
            dst[c * 3 + 0] = Clamp(y + 1.772 * u);
            dst[c * 3 + 1] = Clamp(y - 0.34414 * u - 0.71414 * v);
            dst[c * 3 + 2] = Clamp(y + 1.402 * v);
        }
    }
    return out;
}

bool WriteBmp24(const std::string& path, const std::vector<uint8_t>& bgr, int width, int height) {
    if (width <= 0 || height <= 0 || bgr.size() < size_t(width) * size_t(height) * 3) return false;
    const uint32_t stride = ((uint32_t(width) * 24 + 31) / 32) * 4;
    const uint32_t imageSize = stride * uint32_t(height);
    uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutU32(header + 2, imageSize + 54);
    PutU32(header + 10, 54);
    PutU32(header + 14, 40);
    PutU32(header + 18, uint32_t(width));
    PutU32(header + 22, uint32_t(height));
    PutU16(header + 26, 1);
    PutU16(header + 28, 24);
    PutU32(header + 34, imageSize);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    bool ok = std::fwrite(header, 1, sizeof header, file.get()) == sizeof header;
    std::vector<uint8_t> row(stride, 0);
    for (int r = height - 1; ok && r >= 0; --r) {
        std::copy_n(&bgr[size_t(r) * width * 3], size_t(width) * 3, row.begin());
        ok = std::fwrite(row.data(), 1, stride, file.get()) == stride;
    }
    return ok && std::fflush(file.get()) == 0;
}

}  // namespace corvane
