#include "glyphs.h"

#include <algorithm>
#include <cstring>

namespace corvane::demo {
namespace {

// Segment bits: a top, b upper right, c lower right, d bottom, e lower left,
// f upper left, g middle.
enum : uint8_t { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };

uint8_t SegmentsOf(char c) {
    switch (c) {
        case '0': case 'O': return A | B | C | D | E | F;
        case '1': return B | C;
        case '2': return A | B | D | E | G;
        case '3': return A | B | C | D | G;
        case '4': return B | C | F | G;
        case '5': case 'S': return A | C | D | F | G;
        case '6': return A | C | D | E | F | G;
        case '7': return A | B | C;
        case '8': return A | B | C | D | E | F | G;
        case '9': return A | B | C | D | F | G;
        case '-': return G;
        case 'A': return A | B | C | E | F | G;
        case 'b': return C | D | E | F | G;
        case 'C': return A | D | E | F;
        case 'd': return B | C | D | E | G;
        case 'E': return A | D | E | F | G;
        case 'F': return A | E | F | G;
        case 'H': return B | C | E | F | G;
        case 'L': return D | E | F;
        case 'n': return C | E | G;
        case 'o': return C | D | E | G;
        case 'P': return A | B | E | F | G;
        case 'r': return E | G;
        case 't': return D | E | F | G;
        case 'U': return B | C | D | E | F;
        default: return 0;
    }
}

int Thickness(int height) { return std::max(2, height / 9); }
int CellWidth(int height) { return height / 2 + Thickness(height); }
int Gap(int height) { return std::max(2, height / 7); }
bool IsNarrow(char c) { return c == ':' || c == '.'; }
int CharWidth(int height, char c) { return IsNarrow(c) ? Thickness(height) * 2 : CellWidth(height); }

void DrawSegments(LumaPlane p, int x, int y, int h, uint8_t s, uint8_t luma) {
    const int t = Thickness(h), w = CellWidth(h), half = h / 2;
    if (s & A) FillRect(p, x, y, w, t, luma);
    if (s & G) FillRect(p, x, y + half - t / 2, w, t, luma);
    if (s & D) FillRect(p, x, y + h - t, w, t, luma);
    if (s & F) FillRect(p, x, y, t, half, luma);
    if (s & E) FillRect(p, x, y + half, t, h - half, luma);
    if (s & B) FillRect(p, x + w - t, y, t, half, luma);
    if (s & C) FillRect(p, x + w - t, y + half, t, h - half, luma);
}

}  // namespace

void FillRect(LumaPlane p, int x, int y, int w, int h, uint8_t luma) {
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(p.width, x + w), y1 = std::min(p.height, y + h);
    if (x0 >= x1) return;
    for (int row = y0; row < y1; ++row) std::memset(p.data + size_t(row) * p.width + x0, luma, size_t(x1 - x0));
}

int SegmentTextWidth(int height, std::string_view text) {
    int width = 0;
    for (size_t i = 0; i < text.size(); ++i) width += CharWidth(height, text[i]) + (i + 1 < text.size() ? Gap(height) : 0);
    return width;
}

int DrawSegmentText(LumaPlane p, int x, int y, int height, std::string_view text, uint8_t luma) {
    const int start = x, t = Thickness(height);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            FillRect(p, x, y + height / 4, t * 2, t * 2, luma);
            FillRect(p, x, y + height * 3 / 4 - t * 2, t * 2, t * 2, luma);
        } else if (c == '.') {
            FillRect(p, x, y + height - t * 2, t * 2, t * 2, luma);
        } else {
            DrawSegments(p, x, y, height, SegmentsOf(c), luma);
        }
        x += CharWidth(height, c) + Gap(height);
    }
    return x - start - (text.empty() ? 0 : Gap(height));
}

}  // namespace corvane::demo
