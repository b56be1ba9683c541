// Swath formatting: pass buffers (by colour, line, pixel) to the head's
// slice-ordered swath buffer with per-channel offsets.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

// Per-channel start slices for the swath's direction, and the forward base
// used to measure the extent.
struct ChannelPlacement {
    uint32_t offset[8];
    uint32_t base[8];
};

void Tarn_FormatProcess360(const uint8_t *const passBuf[6], uint8_t *swath, const FormatInfo *fmt,
                           uint32_t *start, uint32_t *end);

}  // namespace sl
