#include "job_geometry.h"

#include "swathboard.h"
#include "wire.h"

namespace swathboard {

namespace {

constexpr std::size_t kResolutionAt = 12;  // XRES | YRES << 4 | passes << 8
constexpr std::size_t kVsdAt = 14;

// One row per XRES code: the pair's resolution class, the slices per 1/180
// inch, the higher resolution of the pair and the right-to-left margin.
struct XResRow {
    std::uint8_t cls;
    std::uint8_t k_num, k_den;
    std::uint16_t xdpi;
    std::int8_t margin;
};
constexpr std::array<XResRow, 9> kXRes = {{
    {3, 2, 1, 600, 20},    // 0: unknown, treated as the 600 class
    {0, 3, 2, 270, 20},    // 225/270
    {1, 2, 1, 360, 7},     // 300/360 (and 720 jobs, printed at 360)
    {2, 3, 1, 540, 20},    // 450/540
    {3, 4, 1, 600, -6},    // 600
    {4, 6, 1, 1080, 20},   // 900/1080
    {5, 8, 1, 1440, 20},   // 1200/1440
    {6, 12, 1, 2160, 20},  // 1800/2160
    {7, 16, 1, 2880, 20},  // 2400/2880
}};
// Base offset of each resolution class: 4.5 inches at the class's lower resolution.
constexpr std::array<std::uint32_t, 8> kBaseOffset = {1012, 1350, 2025, 2700, 4050, 5400, 8100, 10800};
constexpr std::array<std::uint32_t, 9> kYRes = {360, 180, 360, 540, 720, 1080, 1440, 2160, 2880};
constexpr std::uint32_t kXResOf360 = 2;

// Distance of channel ch from channel 7: going from 7 down to 0 the
// distances alternate ingroup and outgroup.
std::int64_t GroupDistance(std::uint32_t ch, const HeadGroup &g) {
    std::int64_t d = 0;
    for (std::uint32_t c = 7; c > ch; --c) d += ((7 - c) % 2 == 0) ? g.ingroup : g.outgroup;
    return d;
}

std::uint32_t DotSizeClass(std::uint16_t vsd, std::uint32_t host_xdpi, std::uint32_t ydpi) {
    if (vsd == 0x8421) return 3;
    if (vsd == 0x8241) return 4;
    const bool narrow = host_xdpi < 600;
    return (ydpi < 720 || (narrow && ydpi == 720)) ? 2 : 1;
}

// Feathering band height of the soften byte (bits 3-5 are not part of it)
// for a pass count; families A, B, C by the byte's sign and size.
std::uint32_t BandHeight(std::uint8_t soften, std::uint32_t passes) {
    const auto v = static_cast<std::int8_t>(soften & ~0x38);
    const std::uint32_t mode = static_cast<std::uint32_t>(v) & 3;
    if (v >= 64) return std::array<std::uint32_t, 4>{173, 144, 20, 0}[mode];
    if (v < -64)
        return std::array<std::uint32_t, 4>{(passes == 8 || passes == 12) ? 168u : 180u, 96, 24, 0}[mode];
    return std::array<std::uint32_t, 4>{passes == 8 ? 104u : 108u, passes == 6 ? 90u : 88u, 72, 0}[mode];
}

std::uint32_t StripeBytes(std::uint32_t mm, std::uint32_t xdpi) {
    const std::uint32_t pixels = mm * xdpi * 10 / 254;
    return ((pixels + 15) & ~15u) / 4;
}

std::int64_t StartStripeColumns(const HeadSettings &head, std::uint32_t host_xdpi) {
    if ((head.stripe_mode & 2) == 0) return 0;
    return 4 * static_cast<std::int64_t>(StripeBytes(head.stripe_size & 0x0F, host_xdpi) +
                                         StripeBytes(head.stripe_size >> 4, host_xdpi));
}

}  // namespace

std::uint32_t ColumnPhase(std::uint32_t passes, std::uint32_t seq) {
    const std::uint32_t n = passes ? passes : 1;
    const std::uint32_t m = seq % n;
    if (n == 4) return (m == 0 || m == 3) ? 0 : 1;
    if (n >= 8) return (m / (n / 2)) & 1;
    return m & 1;
}

JobGeometry GeometryOf(const std::uint8_t *packet, const HeadSettings &head, const ImageFrameRequest &frame) {
    JobGeometry g;
    const std::uint16_t res = wire::Get16(packet + kResolutionAt);
    const std::uint32_t xres = (res & 0x0F) < kXRes.size() ? (res & 0x0F) : 0;
    const std::uint32_t yres = ((res >> 4) & 0x0F) < kYRes.size() ? ((res >> 4) & 0x0F) : 0;
    const XResRow &row = kXRes[xres];
    g.ydpi = kYRes[yres];
    g.passes = (res >> 8) ? (res >> 8) : 1;
    g.column_split = xres == kXResOf360 && g.passes == 2 * (g.ydpi / 360);
    g.host_xdpi = frame.xdpi ? frame.xdpi : (g.column_split ? 720u : row.xdpi);
    g.k_num = row.k_num;
    g.k_den = row.k_den;

    const HeadGroup &group = head.groups[row.cls];
    const bool x360 = xres == kXResOf360;
    const std::uint32_t dot_class =
        DotSizeClass(wire::Get16(packet + kVsdAt), g.column_split ? 720 : row.xdpi, g.ydpi);
    const std::int64_t bidi = group.bidi[dot_class - 1];
    for (std::uint32_t ch = 0; ch < 8; ++ch) {
        const std::int64_t at = kBaseOffset[row.cls] + GroupDistance(ch, group);
        const std::int64_t left = x360 ? head.x360_lalign[ch] : head.x720_lalign[ch];
        const std::int64_t right = x360 ? head.x360_ralign[ch] : head.x720_ralign[ch];
        // The channel's own mechanical error, and in the other direction the
        // firing lag that the margin, the bidirectional value and ralign undo.
        g.ltr_origin[ch] = at - left;
        g.rtl_origin[ch] = at + row.margin - bidi - right;
    }
    g.channel_ink = head.channel_ink;
    g.step_calibration = StepCalibration(head, g.passes);

    const std::uint32_t band = g.passes > 1 ? BandHeight(head.soften, g.passes) : 0;
    const std::uint32_t advance = (360 - band) / g.passes;  // nozzle rows per pass
    g.lines_per_swath = (g.passes == 1 ? g.ydpi * g.ydpi / 360 : advance * g.ydpi / 360) & 0xFFFF;
    const std::uint32_t phase = g.column_split ? g.passes / 2 - 1 : g.passes - 1;
    // The paper enters the head one swath at a time: before the first swath
    // the window holds YDPI lines, of which the last lines_per_swath are the
    // job's first; the window's line s is printed s - phase lines below the top.
    g.first_row_line = static_cast<std::int64_t>(g.ydpi) - g.lines_per_swath - phase;
    g.first_column = StartStripeColumns(head, g.host_xdpi);
    return g;
}

}  // namespace swathboard
