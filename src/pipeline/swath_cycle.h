// The per-swath cycle of the raster pipeline: one line into the strip ring
// and, when that completes a swath, the pass, the paper step, the format and
// the hand-off. PrintALine, the pipeline proof and the benchmarks all run
// this same path; only the hand-off differs.
#pragma once

#include <cstdint>

#include "pipeline/feathering.h"
#include "pipeline/line_intake.h"
#include "pipeline/swath_format.h"
#include "shared/print_job.h"
#include "shared/records.h"
#include "shared/status.h"

namespace sl {

// Receives each swath: the arguments of AddSwath, after the receiver's own
// record. Ok to go on; otherwise why the job took no more swaths.
struct SwathHandOff {
    Status (*take)(void *receiver, const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx,
                   uint32_t widthPx, uint32_t step, int countFlag);
    void *receiver;
};

// What the cycle works with for one job, handed over at its start.
struct SwathCycleJob {
    uint8_t *strip[6];  // strip planes (host plane order), `stride` bytes a row
    uint32_t stride;
    uint32_t lineBytes;     // one plane of one host line (after 1-bit expansion)
    uint32_t hostXdpi;      // side stripes are measured at the host's resolution
    const uint8_t *soften;  // the feathering table
    uint8_t *pass[6];       // pass buffers
    uint8_t *swath;         // the swath buffer, `swathBytes` long, zero-filled
    uint32_t swathBytes;
    uint32_t printSliceNum;  // slices of one swath
    uint8_t dotClass;        // dot-size class (picks the bidirectional correction)
};

// The pipeline of one job: what it was handed at the job's start, the line
// intake, the seam masks, the channel maps, the swath buffer and the count
// of swaths cut. Part of the job record; host thread only.
struct Pipeline {
    SwathCycleJob cycle{};
    LineIntake intake{};
    Feathering feather;
    FormatInfo format{};  // channel maps and stride the formatter uses
    SwathCanvas canvas{};
    // The kernels this job runs, chosen from the processor as the job starts.
    KernelWidth kernels = ProcessorKernelWidth();
    // Equals the queue's running swath count: every swath, blank or not, is
    // handed on with the count flag, and a failed hand-off ends the job.
    uint32_t swathCount = 0;
};

// Points the pipeline at the job's buffers; run after the pass geometry and
// the strip initialisation.
void StartSwathCycle(Pipeline *p, const PrintJob *job, const SwathCycleJob &cycle);
// Lines per swath for any sequence number.
uint32_t LinesPerSwath(const PassInfo *pi);
// Per-channel placement of a swath in direction `dir`.
ChannelPlacement PlacementFor(uint8_t dir, uint32_t xdpi, const UISetupPara *ui, uint32_t printSliceNum,
                              uint8_t dotClass);
// Cuts the swath whose lines are complete; returns the hand-off's result.
Status ProcessCompleteSwath(Pipeline *p, PrintJob *job, SwathHandOff handOff);
// Stores one line (planes of the job's lineBytes, stripes of value
// `fill`); when it completes a swath, cuts it. Ok, or the hand-off's result.
Status PipelineLine(Pipeline *p, PrintJob *job, const uint8_t *const planes[6], uint8_t fill,
                    SwathHandOff handOff);
// Empty swaths the job end feeds once the current swath is complete, so that
// the last image lines meet every pass that prints them: enough swaths to
// carry the newest line out of the strip ring, and never fewer than
// PassNum + 2. None for a one-pass job.
uint32_t FlushSwaths(const Pipeline *p, const PassInfo *pi);
// Swaths cut since StartSwathCycle: the running number that picks each
// swath's direction.
inline uint32_t SwathCycleCount(const Pipeline *p) { return p->swathCount; }

}  // namespace sl
