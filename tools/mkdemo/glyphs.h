#pragma once
// Large seven-segment characters drawn straight into a luma plane, so that the
// demo video can show channel numbers and clocks without a font library.
#include <cstdint>
#include <string_view>

namespace corvane::demo {

// A luma plane: `width` x `height` bytes, rows of `width` bytes.
struct LumaPlane {
    uint8_t* data;
    int width;
    int height;
};

// Characters offered: digits, ':', '.', '-', ' ', and the letters that seven
// segments can show (A b C d E F H L n o P r S t U); others draw as blanks.
// `height` is the character height in pixels; the result is the width drawn.
int DrawSegmentText(LumaPlane plane, int x, int y, int height, std::string_view text, uint8_t luma);
int SegmentTextWidth(int height, std::string_view text);

// A filled rectangle, clipped to the plane.
void FillRect(LumaPlane plane, int x, int y, int w, int h, uint8_t luma);

}  // namespace corvane::demo
