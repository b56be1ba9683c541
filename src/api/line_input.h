// PrintALine and EndPrint: raster lines into the strip ring, complete swaths
// out to the queue.
#pragma once

#include <cstdint>

#include "pipeline/swath_cycle.h"

namespace sl {

int32_t PrintLines(const uint8_t *data, uint32_t size);
int32_t EndPrintJob();

// One host line (planes back to back, as PrintALine takes it) into the
// pipeline; returns the hand-off's result.
int FeedLine(const uint8_t *line, SwathHandOff handOff);
// Empty lines the job end feeds: those that complete the current swath, and
// then those of the flushing swaths.
uint32_t LinesToCompleteSwath();
uint32_t FlushLines();

}  // namespace sl
