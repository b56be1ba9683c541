#include "job_plan.h"

#include <algorithm>
#include <cmath>

#include "raster_limits.h"
#include "screen.h"

namespace swathprint {

namespace {

// 150 and 180 dpi are left out: the board takes them for the 225/270 class
// while the driver places their swaths as if at 360, so they print nowhere
// near their place.
constexpr uint32_t kXdpis[] = {225, 270,  300,  360,  450,  540,  600,  720,
                               900, 1080, 1200, 1440, 1800, 2160, 2400, 2880};
constexpr uint32_t kYdpis[] = {360, 720, 1080, 1440};

constexpr uint32_t kSignature = 0x53575052;  // "SWPR", shown in the driver's trace

template <size_t N>
bool Known(const uint32_t (&table)[N], uint32_t v) {
    return std::find(std::begin(table), std::end(table), v) != std::end(table);
}

// A job line needs at least 8 dots; a 1-bit line narrower than 16 dots is
// only read as 1-bit when its width is a multiple of 8.
uint32_t RasterWidth(uint32_t content, int bits) {
    uint32_t w = std::max<uint32_t>(content, frontend::kMinLineDots);
    if (bits == 1 && w < 16) w = (w + 7) & ~7u;
    return w;
}

// The raster's size in dots: from --width-mm, else from the image's own
// resolution, else one pixel per dot.
void RasterSize(const Options &o, const frontend::PageInfo &image, double *width, double *height) {
    const bool has_dpi = image.xdpi > 0 && image.ydpi > 0;
    const double px_w_in = has_dpi ? 1.0 / image.xdpi : 1.0;  // pixel size, in inches or in pixels
    const double px_h_in = has_dpi ? 1.0 / image.ydpi : 1.0;
    if (o.width_mm > 0) {
        const double inches = o.width_mm / 25.4;
        const double aspect = (image.height * px_h_in) / (image.width * px_w_in);
        *width = inches * o.xdpi;
        *height = inches * aspect * o.ydpi;
    } else if (has_dpi) {
        *width = image.width * px_w_in * o.xdpi;
        *height = image.height * px_h_in * o.ydpi;
    } else {
        *width = image.width;
        *height = image.height;
    }
}

}  // namespace

frontend::RasterPlan JobPlan::Raster() const {
    frontend::RasterPlan r;
    r.content_width = content_width;
    r.content_height = content_height;
    r.row_width = width;
    r.left = left;
    r.bits = bits;
    r.copies = copies;
    r.gap_lines = gap_lines;
    return r;
}

Exit PlanJob(const Options &o, const frontend::PageInfo &image, uint32_t copies, JobPlan *plan,
             std::string *error) {
    if (!Known(kXdpis, o.xdpi) || !Known(kYdpis, o.ydpi)) {
        *error = "unsupported resolution " + std::to_string(o.xdpi) + " x " + std::to_string(o.ydpi) +
                 " dpi (see --help for the modes)";
        return kExitUsage;
    }
    double width = 0, height = 0;
    RasterSize(o, image, &width, &height);
    const uint32_t max_width = frontend::MaxRasterWidth(o.xdpi);
    const double left = std::lround(o.margin_mm / 25.4 * o.xdpi);
    if (left + width >= max_width + 0.5) {
        *error = "image too wide: " + std::to_string(std::llround(left + width)) + " dots across at " +
                 std::to_string(o.xdpi) + " dpi" + (left > 0 ? " with the margin" : "") +
                 "; the head's swath plan takes at most " + std::to_string(max_width);
        return kExitTooWide;
    }
    plan->bits = o.bits ? o.bits : image.bilevel ? 1 : 2;
    plan->left = static_cast<uint32_t>(left);
    plan->content_width = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(width)));
    plan->content_height = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(height)));
    plan->copies = std::max<uint32_t>(1, copies);
    plan->gap_lines = plan->copies > 1 ? static_cast<uint32_t>(std::lround(o.gap_mm / 25.4 * o.ydpi)) : 0;
    // The job's height is a 32-bit count of lines.
    const double lines =
        double(plan->content_height) * plan->copies + double(plan->gap_lines) * (plan->copies - 1);
    if (lines >= 4e9) {
        *error = "image too long: " + std::to_string(std::llround(lines)) + " lines at " +
                 std::to_string(o.ydpi) + " dpi; a job holds fewer than 4e9";
        return kExitTooWide;
    }
    plan->height = static_cast<uint32_t>(lines);
    plan->width = RasterWidth(plan->left + plan->content_width, plan->bits);
    plan->plane_bytes = frontend::PlaneBytes(plan->width, plan->bits);

    JobProp &p = plan->prop;
    p = JobProp{};
    p.Signature = kSignature;
    p.XDPI = o.xdpi;
    p.YDPI = o.ydpi;
    p.BytesPerLine = plan->plane_bytes;
    p.Height = plan->height;
    p.Width = plan->width;
    p.PaperWidth = plan->width;
    p.Colors = frontend::kPlanes;
    p.Bits = static_cast<uint16_t>(plan->bits);
    return kExitOk;
}

}  // namespace swathprint
