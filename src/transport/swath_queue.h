// Swath assembly and the three-slot queue between the host thread and the
// transmit thread.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

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

void QueueReset();
// The slots' data buffers (three, `slotBytes` each) from the job's memory;
// nullptr when the job's memory is released.
void QueueUseBuffers(uint8_t *const data[], uint32_t slotBytes);
// Hands every slot its data buffer and clears it.
void QueueInit();
// Clears the per-job assembly state (held-back swath, blank counters).
void ResetAssembly();
// Slots taken by the host side and not yet freed by the sender (at most
// two: one slot always stays empty).
uint32_t QueueHandedOut();
int QueueHasSpace();
SwathEntry *QueueGetEmpty();
void QueueSetReady(SwathEntry *e);
SwathEntry *QueueGetReady();
void QueueFree(SwathEntry *e);
// The job's pass counter when the entry was published (read by the sender
// for the printed-area fields).
uint32_t QueuePassSeqOf(const SwathEntry *e);
SwathEntry *GetEmptySwathWait(LinkContext *link);
void WaitAllSwathFinish(LinkContext *link);
void RunEmptySwaths(LinkContext *link);
void FlushLastSwath(LinkContext *link);
int AddSwath(const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx, uint32_t widthPx,
             uint32_t step, int countFlag);

// Assembly counters, for the job's statistics and tests.
uint32_t AssemblySwathCount();
uint32_t AssemblyBlankFeed();

}  // namespace sl
