// Where the emulated head puts each dot of a job: the job's resolution and
// pass plan from its NET_CMD_JOB_CREATE packet, joined with the head the
// board described in its answer.
#pragma once

#include <array>
#include <cstdint>

#include "head_settings.h"

namespace swathboard {

struct ImageFrameRequest {
    std::uint32_t width = 0, height = 0, xdpi = 0;  // 0 = unknown
};

struct JobGeometry {
    std::uint32_t ydpi = 360;
    std::uint32_t passes = 1;
    bool column_split = false;  // 720 dpi across, printed as two 360-dpi halves
    std::uint32_t host_xdpi = 360;
    // Carriage slice of data slice 0 is Pstart * k_num / k_den.
    std::uint32_t k_num = 2, k_den = 1;
    // Column (at the working XDPI) of a dot fired at carriage slice x:
    // x - ltr_origin[ch] left to right, x - rtl_origin[ch] right to left.
    std::array<std::int64_t, 8> ltr_origin = {};
    std::array<std::int64_t, 8> rtl_origin = {};
    std::array<std::int8_t, 8> channel_ink = {};
    std::uint32_t step_calibration = 1;  // paper feed = Step * this / 35860, 1/2880 inch
    std::uint32_t lines_per_swath = 360;
    std::int64_t first_row_line = 0;  // line below the head's top at the first swath that is row 0
    std::int64_t first_column = 0;    // host column that is image column 0 (after the start stripe)
};

// `packet` is the job's NET_CMD_PRINT_START (or NET_CMD_JOB_CREATE) packet.
JobGeometry GeometryOf(const std::uint8_t *packet, const HeadSettings &head, const ImageFrameRequest &frame);

// Which half of the 720-dpi columns (0 even, 1 odd) the pass at `seq` in
// the job's feed cycle prints. Every line is visited by passes H = N / 2
// apart, which must print opposite halves: from 8 passes on the first H
// passes of a cycle take the even columns and the next H the odd ones.
std::uint32_t ColumnPhase(std::uint32_t passes, std::uint32_t seq);

}  // namespace swathboard
