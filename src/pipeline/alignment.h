// Channel start offsets per direction and the paper step, all
// computed from the board's alignment values.
#pragma once

#include <cstdint>

#include "shared/records.h"

namespace sl {

uint32_t BaseOffset(uint32_t xdpi);
// Start slice of channel ch (0..7; others give 0) for L_TO_R swaths.
uint32_t ForwardOffset(uint8_t ch, uint32_t xdpi, const UISetupPara *ui);
// Start slice for R_TO_L swaths, mirrored inside the swath width. Alignment
// values that would put it left of slice 0 give 0.
uint32_t BackwardOffset(uint8_t ch, uint32_t xdpi, const UISetupPara *ui, uint32_t printSliceNum,
                        uint8_t dotClass);
uint32_t LargestForwardOffset(uint32_t xdpi, const UISetupPara *ui);
// Paper feed after a pass, in board step units: the pass's feeddots lines
// plus what earlier steps left owing, rounded to the nearest whole step at
// the calibration for the pass count; the rest stays owing in pi->feedOwed.
// So the paper always stands within half a step of the lines fed, and a new
// calibration value takes over from where the paper is.
uint32_t PaperStep(PassInfo *pi, const UISetupPara *ui);

}  // namespace sl
