// From an image to the job's raster lines: resampling to the print grid,
// separation into the head's inks and screening to dots.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "image.h"

namespace swathprint {

// The host's plane order of a job line.
enum Plane : uint8_t { kY, kM, kC, kK, kPlanes };

// Ink coverage of one raster row per plane, 0 (none) to 1 (full).
using CoverageRow = std::array<std::vector<float>, kPlanes>;

// Resamples `image` (area average) so that `content_width` x `height` dots
// cover it, and separates each dot into Y, M, C, K coverage: grey ink is
// printed with K alone; RGB takes the shared part of C, M and Y as K; CMYK is
// taken as it is. Rows are `row_width` wide, blank beyond the content.
struct Separation {
    const Image *image = nullptr;
    uint32_t content_width = 0;
    uint32_t height = 0;
    uint32_t row_width = 0;
    std::vector<double> source_row;  // one averaged source row, all channels
};

void StartSeparation(const Image *image, uint32_t content_width, uint32_t height, uint32_t row_width,
                     Separation *s);
void SeparateRow(Separation *s, uint32_t y, CoverageRow *coverage);

// Error diffusion (serpentine, Floyd-Steinberg weights) of every plane to
// 2-bit dot levels 0..3 or to 1-bit dots. Counts the dots per plane and the
// level they print at (a 1-bit dot prints at level 3).
struct Screen {
    uint32_t width = 0;
    int bits = 2;
    uint32_t row = 0;
    std::array<std::vector<float>, kPlanes> error_this, error_next;
    std::array<std::array<uint64_t, 4>, kPlanes> dots{};
};

void StartScreen(uint32_t width, int bits, Screen *screen);
// Bytes of one plane of one line: 4 dots a byte at 2 bits, 8 at 1 bit,
// leftmost dot in the most significant bits.
uint32_t PlaneBytes(uint32_t width, int bits);
// Screens one row into `line`: kPlanes planes of PlaneBytes() each.
void ScreenRow(const CoverageRow &coverage, Screen *screen, uint8_t *line);

}  // namespace swathprint
