// Swath formatting: pass buffers (by colour, line, pixel) to the head's
// slice-ordered swath buffer with per-channel offsets.
#pragma once

#include <cstdint>

#include "pipeline/simd_support.h"
#include "shared/records.h"

namespace sl {

// Per-channel placement of one swath. Pixel p of channel ch lands in slice
// offset[ch] + p (L_TO_R) or offset[ch] - p (R_TO_L). The extent is measured
// in positions: base[ch] + 4 x byte column, plus lastPad for the last column.
struct ChannelPlacement {
    uint32_t offset[8];
    uint32_t base[8];
    uint32_t lastPad;
};

// The swath buffer and the slices an earlier swath may have left non-zero,
// so that every format leaves the whole buffer holding only this swath.
struct SwathCanvas {
    uint8_t *data;
    uint32_t slices;   // capacity in slices of kSliceBytes
    uint32_t dirtyLo;  // [dirtyLo, dirtyHi): slices that may hold ink
    uint32_t dirtyHi;
};

void SwathCanvasInit(SwathCanvas *canvas, uint8_t *data, uint32_t slices, int knownZero);

// The colour slot whose pass buffer channel ch prints, or -1. A slot is in
// use when pass separation filled it: slot s takes strip plane s's mirror
// (3, 2, 1, 0, 4, 5), so only slots whose plane is below `colors` count.
int ChannelSlot(const FormatInfo *fmt, uint8_t ch);

// Formats one swath into the canvas with the kernels of `kernels` and
// reports the first and last used positions (both 0 when nothing is inked).
void FormatSwath(const uint8_t *const passBuf[6], SwathCanvas *swath, const FormatInfo *fmt,
                 const ChannelPlacement *place, uint32_t *start, uint32_t *end, KernelWidth kernels);

// The rounding the swath hand-off expects: start down to 16, a non-zero end
// up past the next multiple of 16.
void RoundSwathExtent(uint32_t *start, uint32_t *end);

}  // namespace sl
