#include "roundtrip/raster.h"

namespace sl::roundtrip {

namespace {

constexpr uint8_t kOneBitLevel = 3;  // dot size without a dot-size file
constexpr uint16_t kPrintedPlanes = 4;

// Host plane order is Y, M, C, K.
constexpr std::array<swathboard::Ink, kPrintedPlanes> kInkOfPlane = {swathboard::kInkY, swathboard::kInkM,
                                                                     swathboard::kInkC, swathboard::kInkK};

}  // namespace

uint32_t HostBytesPerLine(const RasterShape &shape) {
    return shape.one_bit ? shape.width / 8 : shape.width / 4;
}

JobProp JobOf(const RasterShape &shape) {
    JobProp job{};
    job.XDPI = shape.xdpi;
    job.YDPI = shape.ydpi;
    job.Width = shape.width;
    job.Height = shape.height;
    job.BytesPerLine = HostBytesPerLine(shape);
    job.Colors = shape.colors;
    return job;
}

std::vector<uint8_t> HostLine(const Raster &r, uint32_t row) {
    const uint32_t bpl = HostBytesPerLine(r.shape);
    const uint32_t bits = r.shape.one_bit ? 1 : 2;
    std::vector<uint8_t> line(static_cast<size_t>(r.shape.colors) * bpl, 0);
    for (uint16_t p = 0; p < r.shape.colors; ++p) {
        for (uint32_t x = 0; x < r.shape.width; ++x) {
            uint8_t v = r.levels[p][static_cast<size_t>(row) * r.shape.width + x];
            if (r.shape.one_bit) v = v ? 1 : 0;
            const uint32_t bit = x * bits;
            line[p * bpl + bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
        }
    }
    return line;
}

Raster RandomRaster(const RasterShape &shape, std::mt19937 *rng) {
    Raster r;
    r.shape = shape;
    std::uniform_int_distribution<uint32_t> percent(0, 99), level(1, 3);
    r.levels.resize(shape.colors);
    for (auto &plane : r.levels) {
        plane.resize(static_cast<size_t>(shape.width) * shape.height);
        for (uint8_t &v : plane) {
            const bool inked = percent(*rng) < shape.density_percent;
            v = !inked ? 0 : shape.one_bit ? kOneBitLevel : static_cast<uint8_t>(level(*rng));
        }
    }
    return r;
}

std::array<std::vector<uint8_t>, 4> ExpectedInks(const Raster &r) {
    std::array<std::vector<uint8_t>, 4> inks;
    for (auto &ink : inks) ink.assign(static_cast<size_t>(r.shape.width) * r.shape.height, 0);
    for (uint16_t p = 0; p < r.shape.colors && p < kPrintedPlanes; ++p) inks[kInkOfPlane[p]] = r.levels[p];
    return inks;
}

}  // namespace sl::roundtrip
