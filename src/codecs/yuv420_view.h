#pragma once
// Hands out a decoded picture as 8-bit 4:2:0 planes, whatever the decoder
// produced: the decoder's own planes when they already fit, else a copy (or a
// pixel-format conversion) into a buffer this object keeps until the next call.
#include <cstdint>
#include <vector>

struct AVFrame;
struct SwsContext;

namespace corvane {

struct Yuv420View {
    const uint8_t* plane[3] = {nullptr, nullptr, nullptr};  // Y, U, V
    int yStride = 0;
    int uvStride = 0;
    int width = 0;
    int height = 0;
};

class Yuv420Converter {
public:
    Yuv420Converter() = default;
    ~Yuv420Converter();
    Yuv420Converter(const Yuv420Converter&) = delete;
    Yuv420Converter& operator=(const Yuv420Converter&) = delete;

    // With `packed`, the result has strides of exactly width and width / 2
    // (integer halves, height / 2 chroma rows). False when the frame cannot be
    // turned into 4:2:0 at all.
    bool View(const AVFrame& frame, bool packed, Yuv420View& out);

private:
    struct Planes {
        const uint8_t* data[3];
        int stride[3];
    };
    bool Convert(const AVFrame& frame, Planes& out);
    void Pack(const Planes& in, int width, int height, Yuv420View& out);

    std::vector<uint8_t> packed_;     // rows of width and width / 2 bytes
    std::vector<uint8_t> converted_;  // output of a pixel-format conversion
    SwsContext* sws_ = nullptr;
};

}  // namespace corvane
