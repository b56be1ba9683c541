#include <algorithm>
#include <cmath>

#include "raster.h"

namespace swathprint {

namespace {

// The error rows carry one guard cell on each side, so the weights may land
// beyond the edge without a test.
constexpr uint32_t kGuard = 1;
// The driver prints a 1-bit dot at its default dot size when no dot-size
// file says otherwise (this program's private folder has none).
constexpr int kOneBitDotLevel = 3;

void PutDot(uint8_t *plane, uint32_t x, int bits, uint32_t level) {
    if (bits == 2) {
        plane[x / 4] |= static_cast<uint8_t>(level << (6 - 2 * (x % 4)));
    } else {
        plane[x / 8] |= static_cast<uint8_t>(level << (7 - x % 8));
    }
}

void ScreenPlane(const std::vector<float> &coverage, Screen *s, int p, uint8_t *plane) {
    const int levels = s->bits == 2 ? 3 : 1;
    const bool forward = s->row % 2 == 0;
    const int step = forward ? 1 : -1;
    std::vector<float> &here = s->error_this[p];
    std::vector<float> &below = s->error_next[p];
    for (uint32_t i = 0; i < s->width; ++i) {
        const uint32_t x = forward ? i : s->width - 1 - i;
        const size_t at = x + kGuard;
        const float want = coverage[x] + here[at];
        const int level = std::clamp(static_cast<int>(std::lround(want * levels)), 0, levels);
        const float error = want - float(level) / levels;
        here[at + step] += error * (7.0f / 16);
        below[at - step] += error * (3.0f / 16);
        below[at] += error * (5.0f / 16);
        below[at + step] += error * (1.0f / 16);
        if (level) PutDot(plane, x, s->bits, static_cast<uint32_t>(level));
        ++s->dots[p][s->bits == 1 && level ? kOneBitDotLevel : level];
    }
    here.swap(below);
    std::fill(below.begin(), below.end(), 0.0f);
}

}  // namespace

uint32_t PlaneBytes(uint32_t width, int bits) { return bits == 2 ? (width + 3) / 4 : (width + 7) / 8; }

void StartScreen(uint32_t width, int bits, Screen *screen) {
    screen->width = width;
    screen->bits = bits;
    screen->row = 0;
    for (int p = 0; p < kPlanes; ++p) {
        screen->error_this[p].assign(width + 2 * kGuard, 0.0f);
        screen->error_next[p].assign(width + 2 * kGuard, 0.0f);
    }
    screen->dots = {};
}

void ScreenRow(const CoverageRow &coverage, Screen *screen, uint8_t *line) {
    const uint32_t bytes = PlaneBytes(screen->width, screen->bits);
    std::fill(line, line + size_t(bytes) * kPlanes, uint8_t{0});
    for (int p = 0; p < kPlanes; ++p) ScreenPlane(coverage[p], screen, p, line + size_t(p) * bytes);
    ++screen->row;
}

}  // namespace swathprint
