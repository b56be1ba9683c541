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
#include "raster_lines.h"

namespace swathprint {

struct RunStats {
    uint64_t lines = 0;  // raster lines the driver took
    double seconds = 0;
    DotCounts dots{};  // of the lines the driver took, per plane and dot level
};

// InitPrinter, StartPrint, one PrintALine per raster line, EndPrint and
// ClosePrint; the lines are made ahead on the front end's own thread (see
// frontend::RasterLines). --pause-after and --abort-after act between lines.
// `swaths` reports the swaths the board acknowledged so far (-1 when
// unknown), for the progress bar. Returns the exit code, with one sentence
// in *error for a failure; a job that did not print completely is
// kExitBoardStopped (the driver refused a line) or kExitNotDelivered
// (ClosePrint reported it), which the board's own record may refine.
Exit RunJob(const Driver &driver, const JobPlan &plan, frontend::OpenPage open, frontend::ConvertRow convert,
            const Options &options, std::function<int64_t()> swaths, RunStats *stats, std::string *error);

// Stops the lines of the running job (if any) being made, from any thread:
// an interrupt's abort must not wait for a page that reads slowly.
void StopMakingLines();

// SWATHLINK_TIME_SCALE, as the driver reads it (1 when unset): the pause
// before --pause-after continues is scaled the same way.
double TimeScale();

}  // namespace swathprint
