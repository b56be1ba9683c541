// The job functions behind the entry points.
#pragma once

#include <cstdint>

#include "swathlink/swathlink.h"

namespace sl {

int32_t StartPrintJob(const JobProp *pProp);
int32_t PrintLines(const uint8_t *data, uint32_t size);
int32_t EndPrintJob();
int32_t ClosePrintJob();

}  // namespace sl
