// The one line printed at the end of a job.
#pragma once

#include <string>

#include "job_plan.h"
#include "options.h"
#include "print_run.h"

namespace swathprint {

// What the board reports of the job; swaths < 0 when it cannot be asked.
struct BoardStats {
    int64_t swaths = -1;
    uint64_t firings = 0;  // head firings (one per slice of swath data)
};

// Swaths, printed area, ink dots per channel, estimated ink volume and the
// time the carriage takes to fire every swath.
std::string SummaryLine(const JobPlan &plan, const Options &options, const RunStats &stats,
                        const BoardStats &board);

}  // namespace swathprint
