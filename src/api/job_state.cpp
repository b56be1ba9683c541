#include "api/job_state.h"

#include "transport/command_protocol.h"

namespace sl {

std::atomic<uint32_t> gJobStarted{0};
uint32_t gJobFailed;
uint32_t gOneBitInput;
uint32_t gHostBytesPerLine;
uint32_t gTotalLines;
uint16_t gDotSizeTable[256];
uint32_t gLanguageId = 1033;
PlatTime gStartTime;

uint32_t gHostXDPI;
uint32_t gHostYDPI;
uint32_t gHostPass;
uint32_t gHostWidth;
uint32_t gHostDeclaredBytesPerLine;

bool JobIsAborted() {
    return LinkAborted(&gLink) || gLink.PrintStopFlag.load() == 1;
}

}  // namespace sl
