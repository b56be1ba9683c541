// Carrying out a companion request on the transmit thread.
#pragma once

#include "files/files_common.h"
#include "shared/print_job.h"

namespace sl {

// `job` is the running job whose settings an alignment request changes;
// pause, continue and stop go to its requests.
void CarryOutCompanionRequest(StatusFile *file, const PrintCfgRecord *rec, PrintJob *job, uint16_t jobId);

}  // namespace sl
