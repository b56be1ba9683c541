// The job's pass geometry, taken from its working copy and the board's
// settings at job start.
#pragma once

#include <cstdint>

#include "pipeline/swath_cycle.h"
#include "shared/print_job.h"

namespace sl {

// Fills the job's pass geometry, builds the feathering table and starts the
// strip ring.
void SetupPassGeometry(PrintJob *job, Pipeline *pipeline, bool xdpi720, uint8_t *softenTable);

}  // namespace sl
