// One job through the driver, the way a raster application runs it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "driver.h"
#include "job_plan.h"
#include "options.h"
#include "raster.h"

namespace swathprint {

struct RunStats {
    uint64_t lines = 0;  // raster lines the driver took
    double seconds = 0;
    std::array<std::array<uint64_t, 4>, kPlanes> dots{};  // per plane and dot level
};

// InitPrinter, StartPrint, one PrintALine per raster row (screened as it
// goes), EndPrint and ClosePrint; --pause-after and --abort-after act between
// lines. `swaths` reports the swaths the board acknowledged so far (-1 when
// unknown), for the progress bar. Returns the exit code, with one sentence
// in *error for a failure; a job that did not print completely is
// kExitBoardStopped (the driver refused a line) or kExitNotDelivered
// (ClosePrint reported it), which the board's own record may refine.
Exit RunJob(const Driver &driver, const JobPlan &plan, const Image &image, const Options &options,
            std::function<int64_t()> swaths, RunStats *stats, std::string *error);

// SWATHLINK_TIME_SCALE, as the driver reads it (1 when unset): the pause
// before --pause-after continues is scaled the same way.
double TimeScale();

}  // namespace swathprint
