// StartPrint: checks the job, fixes the print mode, takes the job's memory,
// opens the job on the board and plans the swaths.
#pragma once

#include <cstdint>

#include "swathlink/swathlink.h"

namespace sl {

int32_t StartPrintJob(const JobProp *pProp);

// StartPrint's steps that need no board, in the order it runs them.
// The host's values, the input depth, the pass count, the widened line and
// the mode: `job` becomes the working copy.
void PrepareJob(const JobProp *host, JobProp *job);
// Once the board's settings are in: speed value and slice plan; false when
// one swath of the job does not fit the swath buffer.
[[nodiscard]] bool PlanJob();
// Channel maps, pass geometry, strip ring and swath cycle.
void SetUpPipeline();

}  // namespace sl
