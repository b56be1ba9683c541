// The codes that tell the board the job's mode (set at job start):
// resolution codes, the dot-size class and the VSD word built from it.
#pragma once

#include <cstdint>

#include "shared/print_job.h"

namespace sl {

uint8_t XResCode(uint32_t xdpi);
uint8_t YResCode(uint32_t ydpi);
// X and Y resolution codes and the pass count in one packet word.
uint16_t ResolutionWord(const BoardMode *mode);
uint8_t DotSizeClassFor(uint32_t xdpi, uint32_t ydpi, uint8_t vsd, uint32_t reserved);
uint8_t DotSizeClass(const PrintJob *job);  // from the job's mode and Reserved tag
uint16_t VsdCode(const BoardMode *mode, uint8_t dotClass);

}  // namespace sl
