// ClosePrint: drains the queue, ends the job on the board, stops the threads
// and releases the job.
#pragma once

#include <cstdint>

namespace sl {

int32_t ClosePrintJob();

}  // namespace sl
