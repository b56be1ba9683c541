// StartPrint: checks the job, fixes the print mode, takes the job's memory,
// opens the job on the board and plans the swaths.
#pragma once

#include <string>

#include "api/job_state.h"
#include "api/printer_state.h"
#include "shared/status.h"
#include "swathlink/swathlink.h"

namespace sl {

// Makes the printer's job. Ok also when a job is already running (the call
// is ignored then).
Status StartJob(PrinterState *printer, const JobProp *pProp);

// StartPrint's steps that need no board, in the order it runs them.
// The host's values, the input depth, the pass count, the widened line and
// the mode: the job's working copy. `folder` holds the dot-size file.
void PrepareJob(Job *job, const JobProp *host, const std::string &folder);
// The job's memory, handed to the queue's slots; false when it cannot be had.
[[nodiscard]] bool TakeJobMemory(Job *job);
// Once the board's settings are in: speed value and slice plan; false when
// one swath of the job does not fit the swath buffer.
[[nodiscard]] bool PlanJob(Job *job);
// Channel maps, pass geometry, strip ring and swath cycle.
void SetUpPipeline(Job *job);

}  // namespace sl
