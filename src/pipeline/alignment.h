// Channel start offsets per direction, the VSD code and the paper step, all
// computed from the board's alignment values.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

uint8_t ResolutionClass(uint32_t xdpi);  // 0..7, unlisted values class 3
uint32_t BaseOffset(uint32_t xdpi);
// Start slice of channel ch (0..7; others give 0) for L_TO_R swaths.
uint32_t ForwardOffset(uint8_t ch, uint32_t xdpi, const UISetupPara *ui);
// Start slice for R_TO_L swaths, mirrored inside the swath width. Alignment
// values that would put it left of slice 0 give 0.
uint32_t BackwardOffset(uint8_t ch, uint32_t xdpi, const UISetupPara *ui,
                        uint32_t printSliceNum, uint8_t dotClass);
uint32_t LargestForwardOffset(uint32_t xdpi, const UISetupPara *ui);
uint16_t VsdCode(uint8_t dotClass);
// Paper feed after a pass, in board step units.
uint32_t PaperStep(const PassInfo *pi, const UISetupPara *ui);

// Updates pushed while printing (companion alignment request). xdpi is the
// job's working XDPI, passNum its pass count.
void Tarn_DynUpdateXHori2Para(uint32_t value, UISetupPara *ui, uint32_t xdpi);
void Tarn_DynUpdateStepAlignPara(uint32_t value, UISetupPara *ui, uint8_t passNum);

}  // namespace sl
