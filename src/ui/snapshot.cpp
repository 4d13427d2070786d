#include "ui/snapshot.h"

#include <algorithm>
#include <cstdio>

#include "catalogue/local_time.h"
#include "readers/byte_order.h"

namespace corvane {
namespace {

// Truncated towards zero, then clamped to 0..255.
uint8_t Clamp(double value) {
    int v = static_cast<int>(value);
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const PlanarPicture& p) {
    if (!p.y || !p.u || !p.v || p.width <= 0 || p.height <= 0) return {};
    const uint32_t stride = BmpStride(p.width);
    const uint32_t imageSize = stride * static_cast<uint32_t>(p.height);
    std::vector<uint8_t> out(54 + static_cast<size_t>(imageSize), 0);
    uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    PutU32(h + 2, imageSize + 54);
    PutU32(h + 10, 54);
    PutU32(h + 14, 40);
    PutU32(h + 18, static_cast<uint32_t>(p.width));
    PutU32(h + 22, static_cast<uint32_t>(p.height));
    PutU16(h + 26, 1);
    PutU16(h + 28, 24);
    PutU32(h + 34, imageSize);
    const int chromaWidth = p.width / 2;
    for (int row = 0; row < p.height; ++row) {
        uint8_t* dst = out.data() + 54 + static_cast<size_t>(p.height - 1 - row) * stride;  // bottom-up
        const uint8_t* y = p.y + static_cast<size_t>(row) * p.width;
        const uint8_t* u = p.u + static_cast<size_t>(row / 2) * chromaWidth;
        const uint8_t* v = p.v + static_cast<size_t>(row / 2) * chromaWidth;
        for (int col = 0; col < p.width; ++col) {
            double Y = y[col];
            // An odd width has no chroma sample for its last column: reuse the one before.
            int c = chromaWidth ? std::min(col / 2, chromaWidth - 1) : 0;
            double U = (chromaWidth ? u[c] : 128) - 128.0, V = (chromaWidth ? v[c] : 128) - 128.0;
            dst[col * 3 + 0] = Clamp(Y + 1.772 * U);
            dst[col * 3 + 1] = Clamp(Y - 0.34414 * U - 0.71414 * V);
            dst[col * 3 + 2] = Clamp(Y + 1.402 * V);
        }
    }
    return out;
}

bool WriteBmp(const std::string& path, const PlanarPicture& picture) {
    std::vector<uint8_t> bytes = EncodeBmp(picture);
    if (bytes.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string SnapshotName(int64_t t) {
    std::optional<CalendarTime> c = LocalCalendar(t);
    if (!c) return "snapshot";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d_%02d_%02d_%02d", c->year, c->month, c->day, c->second);
    return buf;
}

}  // namespace corvane
