// Swath assembly and the three-slot queue between the host thread and the
// transmit thread.
#pragma once

#include <cstdint>

#include "shared/records.h"
#include "shared/status.h"
#include "transport/job_link.h"

namespace sl {

// Bytes of one head column in the swath buffer (one slice of one head).
constexpr uint32_t kSwathColumnBytes = kSliceBytes * 1;
// Swath data travels in whole blocks of this many bytes.
constexpr uint32_t kSwathLenUnit = 320;
// Feed of one feed-only swath; larger blank feeds are split.
constexpr uint32_t kMaxFeedStep = 32767;

// Where a swath fires, in 1/180-inch head units, and which columns of the
// formatted swath buffer it sends.
struct SwathPlacement {
    uint32_t Pstart;
    uint32_t Pend;
    uint32_t Columns;    // head columns to send
    uint32_t DataStart;  // first column in the swath buffer
};
SwathPlacement SwathPositions(uint32_t xdpi, uint8_t dir, uint32_t startPx, uint32_t endPx, uint32_t widthPx);
// Whether the head positions of swaths at this XDPI are known (the job's
// XDPI as the host gives it; a 720-dpi job is placed at 360).
bool HasHeadPositions(uint32_t xdpi);

// The slots' data buffers (three, `slotBytes` each) from the job's memory;
// nullptr when the job's memory is released.
void QueueUseBuffers(JobLink *link, uint8_t *const data[], uint32_t slotBytes);
// Hands every slot its data buffer and clears it.
void QueueInit(JobLink *link);
// Slots taken by the host side and not yet freed by the sender (at most
// two: one slot always stays empty).
uint32_t QueueHandedOut(const JobLink *link);
int QueueHasSpace(JobLink *link);
SwathEntry *QueueGetEmpty(JobLink *link);
void QueueSetReady(JobLink *link, SwathEntry *e);
SwathEntry *QueueGetReady(JobLink *link);
void QueueFree(JobLink *link, SwathEntry *e);
// The job's pass counter when the entry was published (read by the sender
// for the printed-area fields).
uint32_t QueuePassSeqOf(const JobLink *link, const SwathEntry *e);
SwathEntry *GetEmptySwathWait(JobLink *link);
void WaitAllSwathFinish(JobLink *link);
void RunEmptySwaths(JobLink *link);
void FlushLastSwath(JobLink *link);
// The pipeline's hand-off: takes one formatted swath into the queue. Not
// Ok when the queue gives no slot: Aborted or Stopped when the job was
// aborted or the board stopped it, Failed when the link ended meanwhile.
Status AddSwath(JobLink *link, const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx,
                uint32_t widthPx, uint32_t step, int countFlag);

// Assembly counters, for the job's statistics and tests.
uint32_t AssemblySwathCount(const JobLink *link);
uint32_t AssemblyBlankFeed(const JobLink *link);

}  // namespace sl
