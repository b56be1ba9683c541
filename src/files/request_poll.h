// Taking a request that the companion application wrote into the status file.
#pragma once

#include "files/files_common.h"
#include "shared/records.h"

namespace sl {

// 1 when a new request of the running job was taken into `rec`, else 0.
int PollCompanionRequest(StatusFile *file, PrintCfgRecord *rec, uint16_t jobId);

}  // namespace sl
