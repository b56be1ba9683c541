// Line intake: stores each raster line into the strip ring with its side
// stripes and keeps the ordered window of ring rows the pass processes read.
#pragma once

#include <cstdint>

#include "shared/records.h"

namespace sl {

constexpr uint32_t kLineOrderMax = 11520;

// Side stripes, in bytes of a strip row: a start stripe and its gap before
// the image, an end stripe and its gap after it. Zero when not drawn.
struct StripeLayout {
    uint32_t start;
    uint32_t startGap;
    uint32_t end;
    uint32_t endGap;
};

// The strip planes of the job (host plane order Y, M, C, K, LC, LM), each
// LineIntake::linesPerStrip rows of `stride` bytes.
struct StripRing {
    uint8_t *plane[6];
    uint32_t stride;
    StripeLayout stripes;
};

// The line intake of a job: the strip ring, the row the next line goes to,
// and the window of ring rows in line order.
struct LineIntake {
    StripRing ring;
    uint32_t linesPerStrip;  // rows of each strip plane
    uint32_t inPtr;          // ring row of the next line
    uint32_t order[kLineOrderMax];
    uint32_t orderCount;
    uint8_t swathDirection;  // direction of the last swath
};

// Millimetres at the host's XDPI, rounded up to 16 pixels, in bytes.
uint32_t StripeBytes(uint32_t mm, uint32_t xdpi);
// stripeMode: bit 0 end stripe, bit 1 start stripe; stripeSize: low nibble
// width, high nibble gap (mm).
StripeLayout StripeLayoutFor(uint8_t stripeMode, uint8_t stripeSize, uint32_t hostXdpi);

// Shrinks the gaps, then the stripes (in whole bands), until both sides fit
// in `room` bytes beside the image: settings wider than the line's margin
// would otherwise write into the neighbouring ring row.
StripeLayout FitStripes(StripeLayout stripes, uint32_t room);

// Ring start for the first swath (part of the pass geometry): needs
// intake->linesPerStrip and pi->LinesPerPass.
void StripRingStart(LineIntake *intake, PassInfo *pi);
// Stores one line of `colors` planes, each `len` bytes, into the intake's
// ring, with stripes of value `fill` (0xFF on image lines, 0 on the padding
// lines of the job end).
int StoreLine(LineIntake *intake, const uint8_t *const planes[6], uint32_t len, uint32_t colors, uint8_t fill,
              PassInfo *pi);
int SwathComplete(PassInfo *pi);
uint8_t SwathDirection(LineIntake *intake, uint32_t swathNumber, const UISetupPara *ui, int toggle);
void ReleaseRows(LineIntake *intake, uint32_t n);
inline uint32_t RowOfLine(const LineIntake *intake, uint32_t i) { return intake->order[i]; }

// 1-bit host lines: every input byte becomes table[b], low byte first.
void ExpandOneBitLine(uint8_t *dst, const uint8_t *src, uint32_t srcBytes, const uint16_t table[256]);

}  // namespace sl
