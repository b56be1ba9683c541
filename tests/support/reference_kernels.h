// Plain byte-and-bit versions of the pipeline kernels, written as the most
// direct loops over pixels and slices: the fast kernels must match them byte
// for byte, and the benchmark measures them as the baseline.
#pragma once

#include <cstdint>

#include "pipeline/pass_separation.h"
#include "pipeline/swath_format.h"
#include "shared/records.h"

namespace sl::ref {

void MaskRow(uint8_t *dst, const uint8_t *src, const uint8_t *mask, uint32_t width, uint32_t phase,
             uint32_t n);
void SplitColumnsRow(uint8_t *dst, const uint8_t *src, const uint8_t *mask, uint32_t width, uint32_t n,
                     uint8_t odd);
bool RowIsBlank(const uint8_t *src, uint32_t n);

// One pass, as the fast SeparatePass (same phase rules); advances *seq.
void PassProcess(const PassSource *src, uint8_t *const passBuf[6], const SoftenTable *table, PassInfo *pi,
                 uint32_t *seq);

// Clears the first `slices` slices of the buffer, then ORs every bit in.
void FormatProcess360(const uint8_t *const passBuf[6], uint8_t *swath, uint32_t slices, const FormatInfo *fmt,
                      const ChannelPlacement *place, uint32_t *start, uint32_t *end);

}  // namespace sl::ref

namespace sl {

// A format record with the built-in channel maps and plane map.
FormatInfo BuiltinFormat(uint32_t bpl, uint8_t colors, int8_t direction);

}  // namespace sl
