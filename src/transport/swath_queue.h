// Swath assembly and the three-slot queue between the host thread and the
// transmit thread.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

extern SwathQueue gSwathQueue;

void QueueReset();
void QueueInit();
// Clears the per-job assembly state (held-back swath, blank counters).
void ResetAssembly();
int QueueHasSpace();
SwathEntry *QueueGetEmpty();
void QueueSetReady(SwathEntry *e);
SwathEntry *QueueGetReady();
void QueueFree(SwathEntry *e);
SwathEntry *GetEmptySwathWait(LinkContext *link);
void WaitAllSwathFinish(LinkContext *link);
void RunEmptySwaths(LinkContext *link);
void FlushLastSwath(LinkContext *link);
int AddSwath(const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx, uint32_t widthPx,
             uint32_t step, int countFlag);

}  // namespace sl
