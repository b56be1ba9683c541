// Pass separation: copies one sweep's rows out of the strip ring into the six
// pass buffers and masks them with the feathering table.
#pragma once

#include <cstdint>

#include "pipeline/simd_support.h"
#include "shared/records.h"

namespace sl {

// Strip plane i goes to colour slot kSlotOfPlane[i] (the map is its own inverse).
constexpr uint8_t kSlotOfPlane[6] = {3, 2, 1, 0, 4, 5};

// Where a pass reads its rows: the strip planes in host plane order and the
// window of ring rows (entry i = the ring row of the i-th line).
struct PassSource {
    const uint8_t *plane[6];
    uint32_t stride;  // bytes per strip row
    const uint32_t *lineOrder;
};

// The feathering table in force: 360 rows of `width` bytes, band `softLines`.
struct SoftenTable {
    const uint8_t *rows;
    uint32_t width;
    uint32_t softLines;
};

// Row kernels.
// dst[k] = src[k] & mask[(k + phase) mod width], k < n.
void MaskRow(uint8_t *dst, const uint8_t *src, const uint8_t *mask, uint32_t width, uint32_t phase,
             uint32_t n, KernelWidth kernels);
// dst[k] = the even (odd = 0) or odd pixels of src[2k], src[2k + 1], AND
// mask[k mod width], k < n.
void SplitColumnsRow(uint8_t *dst, const uint8_t *src, const uint8_t *mask, uint32_t width, uint32_t n,
                     uint8_t odd);
bool RowIsBlank(const uint8_t *src, uint32_t n);

// 720-dpi mode: 1 when pass `seq` of an n-pass cycle prints the odd columns.
uint8_t ColumnSplitOdd(uint32_t passCount, uint32_t seq);

// Runs one pass with the kernels of `kernels`; advances pi->seq when
// pi->seqstep is set.
void SeparatePass(const PassSource *src, uint8_t *const passBuf[6], const SoftenTable *table, PassInfo *pi,
                  KernelWidth kernels);

}  // namespace sl
