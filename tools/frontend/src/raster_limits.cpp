#include "raster_limits.h"

#include <algorithm>

#include "screen.h"

namespace frontend {

namespace {

// The driver's limits: a swath holds at most this many firings, with room
// for the head's channel offsets; a line of all planes goes through buffers
// of this many bytes (before and after 1-bit expansion). The driver widens
// every line by a side margin of 40 mm, rounded up to 32 dots.
constexpr uint32_t kMaxSlices = 116640;
constexpr uint32_t kSliceRoom = 96;
constexpr uint32_t kLineBufferBytes = 170757;
constexpr double kSideMarginMm = 40;

uint32_t SideMargin(uint32_t xdpi) {
    const uint32_t dots = static_cast<uint32_t>(xdpi * kSideMarginMm / 25.4);
    return (dots + 31) & ~31u;
}

}  // namespace

uint32_t MaxRasterWidth(uint32_t xdpi) {
    // The plan counts the widened line, halved at 720 dpi (printed at 360 across).
    const uint64_t plan = xdpi == 720 ? 2ull * (kMaxSlices - kSliceRoom) : kMaxSlices - kSliceRoom;
    const uint64_t by_plan = plan > SideMargin(xdpi) ? plan - SideMargin(xdpi) : 0;
    const uint64_t by_buffers = (kLineBufferBytes / kPlanes) * 4ull;  // 2 bits a dot
    return static_cast<uint32_t>(std::min(by_plan, by_buffers));
}

}  // namespace frontend
