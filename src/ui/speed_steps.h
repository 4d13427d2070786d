#pragma once
// The speed codes the transport buttons step through: 0 normal; 2 and 4 every
// frame faster; 8, 16, 32 key frames forward; -2 to -32 key frames backward.
#include <QColor>
#include <QString>

namespace corvane {

inline int SpeedStep(int code, bool forward) {
    static const int kCodes[] = {-32, -16, -8, -4, -2, 0, 2, 4, 8, 16, 32};
    constexpr int kCount = sizeof kCodes / sizeof kCodes[0];
    int at = 5;  // codes not in the list count as normal speed
    for (int i = 0; i < kCount; ++i) {
        if (kCodes[i] == code) at = i;
    }
    at += forward ? 1 : -1;
    if (at < 0) at = 0;
    if (at >= kCount) at = kCount - 1;
    return kCodes[at];
}

// What the speed button shows: "1" in white at normal speed, the factor in
// green forward, "-factor" in red backward.
inline QString SpeedText(int code) { return code == 0 ? "1" : QString::number(code); }
inline QColor SpeedColour(int code) {
    return code == 0 ? QColor(255, 255, 255) : code > 0 ? QColor(0, 255, 0) : QColor(255, 0, 0);
}

}  // namespace corvane
