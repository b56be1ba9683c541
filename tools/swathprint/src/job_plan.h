// What is printed: the raster's size at the print resolution and the job
// record handed to StartPrint.
#pragma once

#include <cstdint>
#include <string>

#include "options.h"
#include "pages.h"
#include "raster_lines.h"
#include "swathlink/swathlink.h"

namespace swathprint {

struct JobPlan {
    uint32_t content_width = 0;   // dots the image covers
    uint32_t content_height = 0;  // lines one copy covers
    uint32_t left = 0;            // blank dots of the margin before the content
    uint32_t width = 0;           // dots a line holds (margin and content, padded to what a job needs)
    uint32_t height = 0;          // lines of the job: every copy and the gaps between them
    int bits = 2;
    uint32_t copies = 1;  // copies in this job
    uint32_t gap_lines = 0;
    uint32_t plane_bytes = 0;
    JobProp prop{};

    // The raster the front end makes for this job.
    frontend::RasterPlan Raster() const;
};

// Fills the plan for `page` (as turned) printed `copies` times in one job,
// or returns the exit code and one sentence.
Exit PlanJob(const Options &options, const frontend::PageInfo &page, uint32_t copies, JobPlan *plan,
             std::string *error);

}  // namespace swathprint
