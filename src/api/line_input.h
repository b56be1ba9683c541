// PrintALine and EndPrint: raster lines into the strip ring, complete swaths
// out to the queue.
#pragma once

#include <cstdint>

#include "api/job_state.h"
#include "pipeline/swath_cycle.h"
#include "shared/status.h"

namespace sl {

// Ok also when the job was aborted while a swath was handed on (the lines
// were taken); Aborted when it was aborted before, Failed when a fatal error
// ended it.
Status PrintLines(Job *job, const uint8_t *data, uint32_t size);
void EndPrintJob(Job *job);

// The hand-off that puts each cut swath into the job's queue.
SwathHandOff QueueHandOff(Job *job);
// One host line (planes back to back, as PrintALine takes it) into the
// pipeline; returns the hand-off's result.
Status FeedLine(Job *job, const uint8_t *line, SwathHandOff handOff);
// Empty lines the job end feeds: those that complete the current swath, and
// then those of the flushing swaths.
uint32_t LinesToCompleteSwath(const Job *job);
uint32_t FlushLines(const Job *job);

}  // namespace sl
