// Feathering: the seam masks shared out between consecutive passes.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

enum SoftenFamily : uint8_t { kFamilyA = 0, kFamilyB = 1, kFamilyC = 2 };

// Mask width (bytes) and band height (lines) of one family, pass count and mode.
struct SoftenShape {
    uint32_t width;
    uint32_t lines;
};

constexpr uint32_t kSoftenRowsMax = 180;   // largest band of any family
constexpr uint32_t kSoftenWidthMax = 880;  // widest mask row

// Selected by the last family selection; read by pass separation.
struct FeatherSelection {
    uint32_t width = kSoftenWidthMax;  // mask width in bytes
    uint32_t softLines = 0;            // band height the table uses (even)
};
extern FeatherSelection gFeather;

SoftenFamily SoftenFamilyOf(int8_t softenByte);
SoftenShape SoftenShapeFor(SoftenFamily family, uint32_t passCount, uint8_t softenMode);

// Top seam table of `rows` x `width` whole-pixel mask bytes whose share of
// kept pixels rises from about 0 in row 0 to about 1 in the last row.
// Deterministic for a given seed.
void GenerateSeamMask(uint8_t *top, uint32_t rows, uint32_t width, uint32_t seed);

// Sets gFeather.width and the top/bottom tables for the pass count and mode;
// returns the band height.
uint32_t SelectSoftenFamily(uint32_t passCount, uint8_t softenMode, int8_t softenByte);
const uint8_t *SoftenTopTable();     // band-height rows of gFeather.width bytes
const uint8_t *SoftenBottomTable();  // its bitwise complement
uint16_t SoftenDots(uint32_t ydpi, bool xdpi720, uint8_t softenMode, int8_t softenByte);
// 360 rows of gFeather.width bytes; also sets gFeather.softLines.
void BuildSoftenTable360(uint8_t *table, const PassInfo *pi, int8_t softenByte);

}  // namespace sl
