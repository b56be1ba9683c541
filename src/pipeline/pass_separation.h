// Pass separation: copies one sweep's rows out of the strip ring into the six
// pass buffers and masks them with the feathering table.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

extern uint32_t gPassSeq;  // the job's pass sequence number; drives every pass phase

void Tarn_PassProcess(uint8_t *const passBuf[6], const uint8_t *softenTable, PassInfo *pi);

}  // namespace sl
