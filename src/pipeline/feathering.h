// Feathering: the seam masks shared out between consecutive passes.
#pragma once

#include <cstdint>

#include "shared/records.h"

namespace sl {

enum SoftenFamily : uint8_t { kFamilyA = 0, kFamilyB = 1, kFamilyC = 2 };

// Mask width (bytes) and band height (lines) of one family, pass count and mode.
struct SoftenShape {
    uint32_t width;
    uint32_t lines;
};

constexpr uint32_t kSoftenRowsMax = 180;   // largest band of any family
constexpr uint32_t kSoftenWidthMax = 880;  // widest mask row

// A top seam table and its bitwise complement, band-height rows of the
// selection's width.
struct SeamMasks {
    uint8_t top[kSoftenRowsMax * kSoftenWidthMax];
    uint8_t bottom[kSoftenRowsMax * kSoftenWidthMax];
};

// The job's seam masks: the selection in force (read by pass separation)
// and its tables. The tables are a pure function of the selection and take
// a while to make, so each is made once per process and shared read-only.
struct Feathering {
    uint32_t width = kSoftenWidthMax;  // mask width in bytes
    uint32_t softLines = 0;            // band height the table uses (even)
    const SeamMasks *masks = nullptr;  // nullptr while no band is selected
};

SoftenFamily SoftenFamilyOf(int8_t softenByte);
SoftenShape SoftenShapeFor(SoftenFamily family, uint32_t passCount, uint8_t softenMode);

// Top seam table of `rows` x `width` whole-pixel mask bytes whose share of
// kept pixels rises from about 0 in row 0 to about 1 in the last row.
// Deterministic for a given seed.
void GenerateSeamMask(uint8_t *top, uint32_t rows, uint32_t width, uint32_t seed);

// Sets f->width and the top/bottom tables for the pass count and mode;
// returns the band height.
uint32_t SelectSoftenFamily(Feathering *f, uint32_t passCount, uint8_t softenMode, int8_t softenByte);
// Band-height rows of f->width bytes, and their bitwise complement.
inline const uint8_t *SoftenTopTable(const Feathering *f) { return f->masks->top; }
inline const uint8_t *SoftenBottomTable(const Feathering *f) { return f->masks->bottom; }
uint16_t SoftenDots(Feathering *f, uint32_t ydpi, bool xdpi720, uint8_t softenMode, int8_t softenByte);
// 360 rows of f->width bytes; also sets f->softLines.
void BuildSoftenTable360(Feathering *f, uint8_t *table, const PassInfo *pi, int8_t softenByte);

}  // namespace sl
