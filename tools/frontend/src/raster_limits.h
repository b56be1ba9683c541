// What the driver takes in one job, for a front end sizing its raster: the
// widest line the head's swath plan and the driver's line buffers hold, and
// the narrowest line it reads.
#pragma once

#include <cstdint>

namespace frontend {

// A job line holds at least this many dots.
constexpr uint32_t kMinLineDots = 8;

// The widest raster (dots, 2 bits a dot, four planes) a job at `xdpi` takes.
uint32_t MaxRasterWidth(uint32_t xdpi);

}  // namespace frontend
