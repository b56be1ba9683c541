#include "roundtrip/raster.h"

namespace sl::roundtrip {

namespace {

constexpr uint8_t kOneBitLevel = 3;  // dot size without a dot-size file
constexpr uint16_t kPrintedPlanes = 4;

// Host plane order is Y, M, C, K.
constexpr std::array<swathboard::Ink, kPrintedPlanes> kInkOfPlane = {swathboard::kInkY, swathboard::kInkM,
                                                                     swathboard::kInkC, swathboard::kInkK};

}  // namespace

uint32_t HostBytesPerLine(const RasterSpec &spec) { return spec.one_bit ? spec.width / 8 : spec.width / 4; }

JobProp JobOf(const RasterSpec &spec) {
    JobProp job{};
    job.XDPI = spec.xdpi;
    job.YDPI = spec.ydpi;
    job.Width = spec.width;
    job.Height = spec.height;
    job.BytesPerLine = HostBytesPerLine(spec);
    job.Colors = spec.colors;
    return job;
}

std::vector<uint8_t> HostLine(const Raster &r, uint32_t row) {
    const uint32_t bpl = HostBytesPerLine(r.spec);
    const uint32_t bits = r.spec.one_bit ? 1 : 2;
    std::vector<uint8_t> line(static_cast<size_t>(r.spec.colors) * bpl, 0);
    for (uint16_t p = 0; p < r.spec.colors; ++p) {
        for (uint32_t x = 0; x < r.spec.width; ++x) {
            uint8_t v = r.levels[p][static_cast<size_t>(row) * r.spec.width + x];
            if (r.spec.one_bit) v = v ? 1 : 0;
            const uint32_t bit = x * bits;
            line[p * bpl + bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
        }
    }
    return line;
}

Raster RandomRaster(const RasterSpec &spec, std::mt19937 *rng) {
    Raster r;
    r.spec = spec;
    std::uniform_int_distribution<uint32_t> percent(0, 99), level(1, 3);
    r.levels.resize(spec.colors);
    for (auto &plane : r.levels) {
        plane.resize(static_cast<size_t>(spec.width) * spec.height);
        for (uint8_t &v : plane) {
            const bool inked = percent(*rng) < spec.density_percent;
            v = !inked ? 0 : spec.one_bit ? kOneBitLevel : static_cast<uint8_t>(level(*rng));
        }
    }
    return r;
}

std::array<std::vector<uint8_t>, 4> ExpectedInks(const Raster &r) {
    std::array<std::vector<uint8_t>, 4> inks;
    for (auto &ink : inks) ink.assign(static_cast<size_t>(r.spec.width) * r.spec.height, 0);
    for (uint16_t p = 0; p < r.spec.colors && p < kPrintedPlanes; ++p) inks[kInkOfPlane[p]] = r.levels[p];
    return inks;
}

}  // namespace sl::roundtrip
