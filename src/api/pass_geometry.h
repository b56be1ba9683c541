// The job's pass geometry, taken from its working copy and the board's
// settings at job start.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

// Fills gPassInfo, builds the feathering table and starts the strip ring.
void SetupPassGeometry(const JobProp *job, UISetupPara *ui, bool xdpi720, uint8_t *softenTable);

}  // namespace sl
