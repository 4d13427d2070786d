#include "codecs/yuv420_view.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace corvane {

Yuv420Converter::~Yuv420Converter() { sws_freeContext(sws_); }

bool Yuv420Converter::View(const AVFrame& frame, bool packed, Yuv420View& out) {
    const int w = frame.width, h = frame.height;
    if (w <= 0 || h <= 0) return false;
    Planes planes;
    if (frame.format == AV_PIX_FMT_YUV420P || frame.format == AV_PIX_FMT_YUVJ420P) {
        for (int p = 0; p < 3; ++p) {
            planes.data[p] = frame.data[p];
            planes.stride[p] = frame.linesize[p];
        }
    } else if (!Convert(frame, planes)) {
        return false;
    }
    // Callers get one positive chroma stride, or packed rows when they ask.
    const bool describable =
        planes.stride[0] > 0 && planes.stride[1] > 0 && planes.stride[1] == planes.stride[2];
    const bool isPacked = describable && planes.stride[0] == w && planes.stride[1] == w / 2;
    if ((packed || !describable) && !isPacked) {
        Pack(planes, w, h, out);
        return true;
    }
    for (int p = 0; p < 3; ++p) out.plane[p] = planes.data[p];
    out.yStride = planes.stride[0];
    out.uvStride = planes.stride[1];
    out.width = w;
    out.height = h;
    return true;
}

// Rows of width bytes for Y and width / 2 for U and V (height / 2 rows), each
// plane one block. Only planes whose line size differs are copied (with 704
// wide pictures libavcodec pads the chroma lines but not the luma ones).
void Yuv420Converter::Pack(const Planes& in, int w, int h, Yuv420View& out) {
    const int rowBytes[3] = {w, w / 2, w / 2};
    const int rows[3] = {h, h / 2, h / 2};
    size_t offset[3] = {}, total = 0;
    for (int p = 0; p < 3; ++p) {
        offset[p] = total;
        if (in.stride[p] != rowBytes[p]) total += size_t(rowBytes[p]) * size_t(rows[p]);
    }
    packed_.resize(total);
    for (int p = 0; p < 3; ++p) {
        if (in.stride[p] == rowBytes[p] || rowBytes[p] == 0 || rows[p] == 0) {
            out.plane[p] = in.data[p];
            continue;
        }
        uint8_t* dst = packed_.data() + offset[p];
        for (int r = 0; r < rows[p]; ++r)
            std::memcpy(dst + size_t(r) * rowBytes[p], in.data[p] + ptrdiff_t(r) * in.stride[p],
                        rowBytes[p]);
        out.plane[p] = dst;
    }
    out.yStride = w;
    out.uvStride = w / 2;
    out.width = w;
    out.height = h;
}

// Other pixel formats (10-bit, 4:2:2, 4:4:4, grey) become 8-bit 4:2:0 of the
// same size. Chroma keeps its rounded-up size here (odd sizes); Pack trims it.
// Bilinear, because point sampling leaves V grey on small pictures (swscale 6).
bool Yuv420Converter::Convert(const AVFrame& frame, Planes& out) {
    const int w = frame.width, h = frame.height;
    sws_ = sws_getCachedContext(sws_, w, h, AVPixelFormat(frame.format), w, h,
                                AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws_) return false;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    const size_t ySize = size_t(w) * h, cSize = size_t(cw) * ch;
    converted_.resize(ySize + 2 * cSize);
    uint8_t* dst[4] = {converted_.data(), converted_.data() + ySize,
                       converted_.data() + ySize + cSize, nullptr};
    const int dstStride[4] = {w, cw, cw, 0};
    if (sws_scale(sws_, frame.data, frame.linesize, 0, h, dst, dstStride) != h) return false;
    for (int p = 0; p < 3; ++p) {
        out.data[p] = dst[p];
        out.stride[p] = dstStride[p];
    }
    return true;
}

}  // namespace corvane
