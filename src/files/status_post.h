// Status posts: the running job's settings and state, written into the
// status file for the companion application.
#pragma once

#include <cstdint>

#include "files/files_common.h"
#include "shared/print_job.h"

namespace sl {

// Offsets 22..52 of the record from a job and the board's settings.
void FillJobStatus(PrintCfgRecord *rec, const JobProp *job, const UISetupPara *ui);
void PostJobStatus(StatusFile *file, uint8_t code, const PrintJob *job, uint16_t jobId);

}  // namespace sl
