// ClosePrint: drains the queue, ends the job on the board, stops the threads
// and destroys the job.
#pragma once

#include "api/printer_state.h"
#include "shared/status.h"

namespace sl {

Status CloseJob(PrinterState *printer);

}  // namespace sl
