// Cutting a swath once the strip ring holds its lines: pass separation,
// paper step, formatting and the hand-off to the swath queue.
#pragma once

#include <cstdint>

#include "pipeline/swath_format.h"
#include "swathlink/records.h"

namespace sl {

// Points the pipeline at the job's buffers; run after the pass geometry.
void StartSwathCycle();
// Per-channel placement of a swath in direction `dir`.
ChannelPlacement PlacementFor(uint8_t dir, uint32_t xdpi, const UISetupPara *ui,
                              uint32_t printSliceNum, uint8_t dotClass);
// Cuts the swath whose lines are complete; 0 when the hand-off failed.
int CutSwath();

}  // namespace sl
