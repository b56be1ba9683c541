// The two job widths the benchmarks measure and their head placement.
#pragma once

#include <cstdint>

#include "pipeline/swath_format.h"
#include "shared/records.h"

namespace sl {

struct BenchWidth {
    uint32_t hostWidth;     // pixels at 360 dpi across
    uint32_t bytesPerLine;  // the widened stride
};

// 1.6 m at 360 dpi (22,677 pixels) and about 0.38 m, each widened by the
// 40 mm side margin (576 pixels) and rounded up to 8 bytes.
constexpr uint32_t Stride(uint32_t hostWidth) { return ((hostWidth + 576) / 4 + 7) & ~7u; }
constexpr BenchWidth kWide{22677, Stride(22677)};
constexpr BenchWidth kNarrow{5400, Stride(5400)};

// Channel offsets of a 360-dpi head: base 1350, ingroup 18, outgroup 37 and a
// few slices of fine alignment.
inline ChannelPlacement BenchPlacement(uint8_t dir, uint32_t sliceNum) {
    const int32_t forward[8] = {1350 + 72 + 111 - 2, 1350 + 54 + 111 + 1, 1350 + 54 + 74 - 3, 1350 + 36 + 74,
                                1350 + 36 + 37 + 2,  1350 + 18 + 37 - 1,  1350 + 18 + 3,      1350};
    ChannelPlacement p{};
    for (int ch = 0; ch < 8; ++ch) {
        if (dir == L_TO_R) {
            p.offset[ch] = static_cast<uint32_t>(forward[ch]);
            p.base[ch] = p.offset[ch];
        } else {
            p.offset[ch] = sliceNum - static_cast<uint32_t>(forward[ch]) - 7 + 5;
            p.base[ch] = sliceNum - p.offset[ch];
        }
    }
    p.lastPad = dir == L_TO_R ? 0 : 3;
    return p;
}

inline uint32_t BenchSliceNum(const BenchWidth &w) {
    return (w.hostWidth + 576 + 1350 + 72 + 111 + 96 + 31) & ~31u;
}
inline uint32_t BenchMaxSwathSlices(uint32_t sliceNum) {
    return sliceNum + 128 < MAX_SLICE_NUMBER ? sliceNum + 128 : MAX_SLICE_NUMBER;
}

}  // namespace sl
