// Session and job state kept by the entry points.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "swathlink/records.h"

namespace sl {

extern std::atomic<uint32_t> gJobStarted;
extern uint32_t gJobFailed;                // a fatal hand-off failure released the job's buffers
extern uint32_t gOneBitInput;
extern uint32_t gHostBytesPerLine;         // one plane of one line after expansion
extern uint32_t gTotalLines;
extern uint16_t gDotSizeTable[256];
extern uint32_t gLanguageId;
extern PlatTime gStartTime;

// The host's values as StartPrint received them.
extern uint32_t gHostXDPI;
extern uint32_t gHostYDPI;
extern uint32_t gHostPass;
extern uint32_t gHostWidth;
extern uint32_t gHostDeclaredBytesPerLine;  // BytesPerLine as declared (1-bit jobs: not doubled)

// The XDPI-is-720 test: true for the whole job when the host's XDPI is 720.
inline bool XdpiIs720() { return gHostXDPI == 720; }

// The job-aborted test: abort requested, or the board stopped the job.
bool JobIsAborted();

}  // namespace sl
