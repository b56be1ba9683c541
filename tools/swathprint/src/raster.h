// From a page to the job's raster lines: the front end resamples, converts
// and screens.
#pragma once

#include <cstdint>

#include "image.h"
#include "options.h"
#include "raster_lines.h"
#include "screen.h"

namespace swathprint {

using frontend::DotCounts;
using frontend::kC;
using frontend::kK;
using frontend::kM;
using frontend::kPlanes;
using frontend::kY;
using frontend::Plane;
using frontend::PlaneBytes;

// The page's colour conversion as the options ask, shared by every thread
// that converts rows. Empty, with one sentence in *error and the exit code in
// *code, when it cannot be made: kExitInput for the file's own profile,
// kExitUsage for the options.
frontend::ConvertRow ConversionFor(const frontend::PageInfo &page, const frontend::ColourOptions &options,
                                   Exit *code, std::string *error);

}  // namespace swathprint
