#include "scene.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "glyphs.h"

namespace corvane::demo {
namespace {

struct Tint {
    uint8_t skyU, skyV, groundU, groundV;
};

// One tint per channel so that the cells of a grid are told apart at once.
constexpr Tint kTints[8] = {
    {160, 110, 118, 132}, {140, 150, 110, 120}, {120, 100, 140, 140}, {170, 140, 128, 110},
    {110, 170, 120, 140}, {150, 90, 100, 150},  {100, 130, 150, 100}, {180, 120, 110, 120},
};

int PositiveMod(int64_t a, int m) { return static_cast<int>(((a % m) + m) % m); }

}  // namespace

Scene::Scene(int width, int height, int channel)
    : width_(width), height_(height), channel_(channel), period_(256),
      speed_((channel % 2 ? 1 : -1) * (3 + channel % 4)), horizon_(height * 2 / 5) {
    const int sw = width_ + period_;
    stripY_.resize(size_t(sw) * height_);
    stripU_.resize(size_t(sw / 2) * (height_ / 2));
    stripV_.resize(stripU_.size());
    const Tint& tint = kTints[(channel_ - 1 + 8) % 8];
    for (int y = 0; y < height_; ++y) {
        uint8_t* row = &stripY_[size_t(y) * sw];
        for (int x = 0; x < sw; ++x) {
            const int px = x % period_;
            uint8_t v;
            if (y < horizon_) {
                // Sky brightening towards the horizon, with buildings.
                v = static_cast<uint8_t>(90 + 90 * y / horizon_);
                const int building = (px * 7 / period_) % 3;
                const int top = horizon_ - horizon_ * (2 + building + px / 64) / 9;
                if (y > top && px % 64 < 52) v = static_cast<uint8_t>(70 + 25 * building + ((y / 12 + px / 10) % 2) * 30);
            } else {
                // Road: darker in front, lane marks and poles scrolling by.
                const int depth = y - horizon_;
                v = static_cast<uint8_t>(60 + 50 * depth / std::max(1, height_ - horizon_));
                const int lane = horizon_ + (height_ - horizon_) / 2;
                if (std::abs(y - lane) < std::max(2, height_ / 120) && px % 128 < 64) v = 220;
                if (px % 128 >= 100 && px % 128 < 106 && depth < (height_ - horizon_) / 3) v = 40;
            }
            row[x] = v;
        }
    }
    for (int y = 0; y < height_ / 2; ++y) {
        const bool sky = y * 2 < horizon_;
        std::memset(&stripU_[size_t(y) * (sw / 2)], sky ? tint.skyU : tint.groundU, size_t(sw / 2));
        std::memset(&stripV_[size_t(y) * (sw / 2)], sky ? tint.skyV : tint.groundV, size_t(sw / 2));
    }
}

void Scene::Render(int64_t frame, const ClockTime& clock, int frameInSecond, Yuv420Image& out) const {
    if (out.width != width_ || out.height != height_) out = Yuv420Image(width_, height_);
    const int sw = width_ + period_;
    const int shift = PositiveMod(frame * speed_, period_);
    for (int y = 0; y < height_; ++y)
        std::memcpy(&out.y[size_t(y) * width_], &stripY_[size_t(y) * sw + shift], size_t(width_));
    for (int y = 0; y < height_ / 2; ++y) {
        std::memcpy(&out.u[size_t(y) * (width_ / 2)], &stripU_[size_t(y) * (sw / 2) + shift / 2], size_t(width_ / 2));
        std::memcpy(&out.v[size_t(y) * (width_ / 2)], &stripV_[size_t(y) * (sw / 2) + shift / 2], size_t(width_ / 2));
    }

    LumaPlane plane{out.y.data(), width_, height_};
    // A vehicle crossing the road, back and forth, one crossing every 8 s.
    const int carW = width_ / 6, carH = height_ / 10;
    const int travel = width_ - carW;
    const int phase = PositiveMod(frame * 2 * travel / 200 + channel_ * travel / 3, 2 * travel);
    const int carX = phase < travel ? phase : 2 * travel - phase;
    const int carY = height_ - carH - height_ / 12;
    FillRect(plane, carX, carY, carW, carH, 200);
    FillRect(plane, carX + carW / 8, carY - carH / 2, carW * 3 / 4, carH / 2, 170);
    FillRect(plane, carX + carW / 8, carY + carH - 4, carW / 5, 8, 20);
    FillRect(plane, carX + carW * 5 / 8, carY + carH - 4, carW / 5, 8, 20);

    // Channel number at the top left, clock and frame in the middle, date below.
    const int big = height_ / 6;
    const int margin = height_ / 24;
    char text[64];
    std::snprintf(text, sizeof text, "CH%d", channel_);
    FillRect(plane, margin / 2, margin / 2, SegmentTextWidth(big, text) + margin, big + margin, 16);
    DrawSegmentText(plane, margin, margin, big, text, 235);

    std::snprintf(text, sizeof text, "%02d:%02d:%02d", clock.hour, clock.minute, clock.second);
    const int clockW = SegmentTextWidth(big, text);
    char frameText[8];
    std::snprintf(frameText, sizeof frameText, ".%02d", frameInSecond);
    const int small = big / 2;
    const int boxW = clockW + SegmentTextWidth(small, frameText) + margin * 2;
    const int cx = (width_ - boxW) / 2, cy = horizon_ - big / 2;
    FillRect(plane, cx, cy - margin / 2, boxW, big + margin, 16);
    int x = cx + margin / 2;
    x += DrawSegmentText(plane, x, cy, big, text, 235);
    DrawSegmentText(plane, x + margin / 2, cy + big - small, small, frameText, 200);
    // A bar that fills once a second, for finer comparison between cells.
    FillRect(plane, cx, cy + big + margin / 2, boxW * (frameInSecond + 1) / 25, std::max(4, margin / 3), 235);

    std::snprintf(text, sizeof text, "%04d-%02d-%02d", clock.year, clock.month, clock.day);
    const int dateH = big / 2;
    const int dateW = SegmentTextWidth(dateH, text);
    FillRect(plane, width_ - dateW - margin * 2, margin / 2, dateW + margin * 3 / 2, dateH + margin, 16);
    DrawSegmentText(plane, width_ - dateW - margin * 5 / 4, margin, dateH, text, 220);
}

}  // namespace corvane::demo
