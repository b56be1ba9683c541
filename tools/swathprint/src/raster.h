// From a page to the job's raster lines: the front end resamples, converts
// and screens; this program adds the conversion of its colour options.
#pragma once

#include <cstdint>

#include "image.h"
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

// Ink coverage of `n` pixels of `model`: grey ink is printed with K alone;
// RGB takes the shared part of C, M and Y as K; CMYK is taken as it is.
void SeparatePixels(ColorModel model, const uint16_t *pixels, uint32_t n, float *y, float *m, float *c,
                    float *k);

}  // namespace swathprint
