// Line intake: stores each raster line into the strip ring with its side
// stripes and keeps the ordered window of ring rows the pass processes read.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

constexpr uint32_t kLineOrderMax = 11520;

extern uint32_t gLinesPerStrip;
extern uint32_t gLineInPtr;
extern uint32_t gLineOrder[kLineOrderMax];
extern uint32_t gLineOrderCount;
extern uint8_t gSwathDirection;

// Ring start for the first swath (part of the pass geometry).
void StripRingStart(PassInfo *pi);
// Stores one line of `colors` planes, each `len` bytes.
int StoreLine(const uint8_t *const planes[6], uint32_t len, uint32_t colors);
int SwathComplete(PassInfo *pi);
uint8_t SwathDirection(uint32_t swathNumber, const UISetupPara *ui, int toggle);
void ReleaseRows(uint32_t n);
inline uint32_t RowOfLine(uint32_t i) { return gLineOrder[i]; }

}  // namespace sl
