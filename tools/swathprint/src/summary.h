// The one line printed at the end of a job.
#pragma once

#include <array>
#include <cstdint>
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

// What the board printed of a job that stopped part way (aborted): the ink
// is counted from the swaths the board accepted, never from lines that
// only reached the driver. Known from the emulator's sheet (its dots per
// head channel and level); a board does not say.
struct Printed {
    bool complete = true;
    bool known = false;
    std::array<std::array<uint64_t, 4>, 8> channel_dots{};  // [channel][level 1..3]
};

// Swaths, printed area, ink dots per channel, estimated ink volume and the
// time the carriage takes to fire every swath.
std::string SummaryLine(const JobPlan &plan, const Options &options, const RunStats &stats,
                        const BoardStats &board, const Printed &printed = {});

}  // namespace swathprint
