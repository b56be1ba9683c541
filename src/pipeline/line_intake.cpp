#include "pipeline/line_intake.h"

#include <cstring>

namespace sl {

namespace {
constexpr uint32_t kStripedPlanes = 4;  // Y, M, C, K carry the side stripes
}  // namespace

uint32_t StripeBytes(uint32_t mm, uint32_t xdpi) {
    // Integer form of trunc(mm * xdpi / 25.4); equal to the floating form.
    uint32_t pixels = mm * xdpi * 10 / 254;
    return ((pixels + 15) & ~15u) / 4;
}

StripeLayout StripeLayoutFor(uint8_t stripeMode, uint8_t stripeSize, uint32_t hostXdpi) {
    uint32_t width = StripeBytes(stripeSize & 0x0F, hostXdpi);
    uint32_t gap = StripeBytes(stripeSize >> 4, hostXdpi);
    StripeLayout s{};
    if (stripeMode & 1) {
        s.end = width;
        s.endGap = gap;
    }
    if (stripeMode & 2) {
        s.start = width;
        s.startGap = gap;
    }
    return s;
}

StripeLayout FitStripes(StripeLayout s, uint32_t room) {
    auto over = [&] {
        uint32_t used = s.start + s.startGap + s.end + s.endGap;
        return used > room ? used - room : 0;
    };
    // Stripes shrink by whole bytes of every band: 4 bytes at a time.
    auto cut = [&](uint32_t &v, uint32_t unit) {
        uint32_t need = (over() + unit - 1) / unit * unit;
        v -= need < v ? need : v;
    };
    cut(s.endGap, 1);
    cut(s.startGap, 1);
    cut(s.end, kStripedPlanes);
    cut(s.start, kStripedPlanes);
    return s;
}

void StripRingStart(LineIntake *intake, PassInfo *pi) {
    uint32_t held = intake->linesPerStrip > pi->LinesPerPass ? intake->linesPerStrip - pi->LinesPerPass : 0;
    if (held > kLineOrderMax) held = kLineOrderMax;
    for (uint32_t i = 0; i < held; ++i) intake->order[i] = i;
    intake->orderCount = held;
    intake->inPtr = held;
    if (intake->inPtr >= intake->linesPerStrip) intake->inPtr = 0;
}

int StoreLine(LineIntake *intake, const uint8_t *const planes[6], uint32_t len, uint32_t colors, uint8_t fill,
              PassInfo *pi) {
    const StripRing *ring = &intake->ring;
    const StripeLayout &st = ring->stripes;
    const size_t row = static_cast<size_t>(intake->inPtr) * ring->stride;
    const uint32_t image = st.start + st.startGap;
    const uint32_t startBand = st.start / 4;
    const uint32_t endBand = st.end / 4;
    const uint32_t endAt = image + len + st.endGap;
    // Every write stays inside the row, whatever the layout.
    const uint32_t stride = ring->stride;
    auto fit = [stride](uint32_t at, uint32_t n) {
        return at >= stride ? 0 : (n < stride - at ? n : stride - at);
    };
    for (uint32_t k = 0; k < colors && k < 6; ++k) {
        uint8_t *dst = ring->plane[k] + row;
        if (k < kStripedPlanes && startBand) {
            const uint32_t at = k * startBand;
            std::memset(dst + at, fill, fit(at, startBand));
        }
        std::memcpy(dst + image, planes[k], fit(image, len));
        if (k < kStripedPlanes && endBand) {
            const uint32_t at = endAt + (kStripedPlanes - 1 - k) * endBand;
            std::memset(dst + at, fill, fit(at, endBand));
        }
    }
    // The order list never holds more than one ring of lines; the guard only
    // keeps a job outside the supported resolutions from writing past it.
    if (intake->orderCount < kLineOrderMax) intake->order[intake->orderCount++] = intake->inPtr;
    pi->collet += 1;
    if (++intake->inPtr >= intake->linesPerStrip) intake->inPtr = 0;
    return 1;
}

int SwathComplete(PassInfo *pi) {
    if (pi->collet < pi->LinesPerPass) return 0;
    pi->collet = 0;
    return 1;
}

uint8_t SwathDirection(LineIntake *intake, uint32_t swathNumber, const UISetupPara *ui, int toggle) {
    if (ui->Dir == kDirBidirectional) {
        if (swathNumber == 0)
            intake->swathDirection = L_TO_R;
        else if (toggle)
            intake->swathDirection = intake->swathDirection ? L_TO_R : R_TO_L;
    } else {
        intake->swathDirection = L_TO_R;
    }
    return intake->swathDirection;
}

void ReleaseRows(LineIntake *intake, uint32_t n) {
    if (intake->orderCount > n) {
        std::memmove(intake->order, intake->order + n, (intake->orderCount - n) * sizeof(intake->order[0]));
        intake->orderCount -= n;
    } else {
        intake->orderCount = 0;
    }
}

void ExpandOneBitLine(uint8_t *dst, const uint8_t *src, uint32_t srcBytes, const uint16_t table[256]) {
    for (uint32_t i = 0; i < srcBytes; ++i) {
        uint16_t w = table[src[i]];
        dst[2 * i] = static_cast<uint8_t>(w);
        dst[2 * i + 1] = static_cast<uint8_t>(w >> 8);
    }
}

}  // namespace sl
