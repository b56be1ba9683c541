// The job that the Windows end-to-end run prints, made from a few numbers
// so that the Windows host program and the Linux-side check build the same
// record and the same raster lines.
#pragma once

#include <cstdint>
#include <vector>

#include "swathlink/swathlink.h"

namespace sl_wine {

struct JobShape {
    uint32_t xdpi = 360;
    uint32_t ydpi = 720;
    uint32_t width = 720;  // pixels
    uint32_t colors = 4;
    uint32_t lines = 600;
    uint32_t seed = 1;
};

inline uint32_t PlaneBytes(const JobShape &s) { return (s.width + 3) / 4; }  // 2 bits a pixel
inline uint32_t LineBytes(const JobShape &s) { return s.colors * PlaneBytes(s); }

inline JobProp MakeJobProp(const JobShape &s) {
    JobProp job{};
    job.XDPI = s.xdpi;
    job.YDPI = s.ydpi;
    job.Width = s.width;
    job.BytesPerLine = PlaneBytes(s);
    job.Colors = static_cast<uint16_t>(s.colors);
    job.Height = s.lines;
    return job;
}

// Inked lines with every 2-bit level, blank bands between them (so some
// swaths are partly or wholly empty) and a different pattern per plane.
inline void MakeLine(const JobShape &s, uint32_t line, std::vector<uint8_t> &out) {
    out.assign(LineBytes(s), 0);
    if ((line / 40) % 5 == 3) return;
    for (uint32_t i = 0; i < out.size(); ++i) {
        const uint32_t v = (i * 7u + line * 13u + s.seed * 29u) ^ (i >> 3);
        out[i] = static_cast<uint8_t>(v * 0x9Du);
    }
}

}  // namespace sl_wine
