// A job's raster as the host hands it over, and the sheet it must print.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "swathboard.h"
#include "swathlink/swathlink.h"

namespace sl::roundtrip {

struct RasterShape {
    uint32_t xdpi = 360, ydpi = 360;
    uint32_t width = 64, height = 32;  // width a multiple of 8
    uint16_t colors = 4;
    bool one_bit = false;
    uint32_t density_percent = 50;  // share of inked pixels
};

// Pixel levels 0..3 of every host plane (Y, M, C, K, LC, LM), row-major.
struct Raster {
    RasterShape shape;
    std::vector<std::vector<uint8_t>> levels;  // [plane][row * width + column]
};

// One line as PrintALine takes it: the planes one after the other, 1 or 2
// bits per pixel, leftmost pixel in the most significant bits.
std::vector<uint8_t> HostLine(const Raster &r, uint32_t row);
uint32_t HostBytesPerLine(const RasterShape &shape);
JobProp JobOf(const RasterShape &shape);

// Random levels; a 1-bit raster holds 0 or the level its dots print at (3).
Raster RandomRaster(const RasterShape &shape, std::mt19937 *rng);

// What the sheet must show: the Y, M, C and K planes (the light inks have
// no channel), indexed by swathboard::Ink.
std::array<std::vector<uint8_t>, 4> ExpectedInks(const Raster &r);

}  // namespace sl::roundtrip
