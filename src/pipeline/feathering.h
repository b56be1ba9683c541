// Feathering: the seam masks shared out between consecutive passes.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

// Selected by the last family selection; read by pass separation.
extern uint32_t gSoftenWidth;  // W: mask width in bytes
extern uint32_t gSoftLines;    // S': band height rounded down to even

// Sets W and the top/bottom tables for pass count n and mode; returns S.
uint32_t SelectSoftenFamily(uint32_t passCount, uint8_t softenMode, int8_t softenByte);
uint16_t SoftenDots(uint32_t ydpi, bool xdpi720, uint8_t softenMode, int8_t softenByte);
void BuildSoftenTable360(uint8_t *table, const PassInfo *pi, int8_t softenByte);

}  // namespace sl
