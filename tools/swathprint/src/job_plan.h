// What is printed: the raster's size at the print resolution and the job
// record handed to StartPrint.
#pragma once

#include <cstdint>
#include <string>

#include "image.h"
#include "options.h"
#include "swathlink/swathlink.h"

namespace swathprint {

struct JobPlan {
    uint32_t content_width = 0;  // dots the image covers
    uint32_t width = 0;          // dots a line holds (the content, padded to what a job needs)
    uint32_t height = 0;
    int bits = 2;
    uint32_t plane_bytes = 0;
    JobProp prop{};
};

// Widest raster (dots) a job at `xdpi` may have: the line buffers and the
// head's swath plan bound it.
uint32_t MaxRasterWidth(uint32_t xdpi);

// Fills the plan, or returns the exit code and one sentence.
Exit PlanJob(const Options &options, const Image &image, JobPlan *plan, std::string *error);

}  // namespace swathprint
