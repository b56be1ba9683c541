// The job functions behind the entry points.
#pragma once

#include <cstdint>

#include "pipeline/swath_cycle.h"
#include "swathlink/swathlink.h"

namespace sl {

int32_t StartPrintJob(const JobProp *pProp);
int32_t PrintLines(const uint8_t *data, uint32_t size);
int32_t EndPrintJob();
int32_t ClosePrintJob();

// StartPrint's steps that need no board, in the order it runs them.
// The host's values, the input depth, the pass count, the widened line and
// the mode: `job` becomes the working copy.
void PrepareJob(const JobProp *host, JobProp *job);
// Once the board's settings are in: speed value and slice plan; false when
// one swath of the job does not fit the swath buffer.
[[nodiscard]] bool PlanJob();
// Channel maps, pass geometry, strip ring and swath cycle.
void SetUpPipeline();

// One host line (planes back to back, as PrintALine takes it) into the
// pipeline; returns the hand-off's result.
int FeedLine(const uint8_t *line, SwathHandOff handOff);
// Empty lines the job end feeds: those that complete the current swath, and
// then those of the flushing swaths.
uint32_t LinesToCompleteSwath();
uint32_t FlushLines();

}  // namespace sl
