// The codes that tell the board the job's mode: resolution codes, dot-size
// class and the VSD word built from it.
#include "shared/board_mode.h"

#include <cstddef>

#include "platform/platform.h"

namespace sl {

namespace {

// Reserved tags that make VsdMode the job's dot-size class.
constexpr uint32_t kVsdIsClassTag = 0xABCE;
constexpr uint32_t kVsdIsClassTag2 = 0xABCF;

struct DpiCode {
    uint32_t dpi;
    uint8_t code;
};

constexpr DpiCode kXResCodes[] = {
    // clang-format off
    {150, 1}, {180, 1}, {225, 1}, {270, 1}, {300, 2}, {360, 2}, {450, 3}, {540, 3}, {600, 4},
    {720, 2},  // printed at 360 across
    {900, 5}, {1080, 5}, {1200, 6}, {1440, 6}, {1800, 7}, {2160, 7}, {2400, 8}, {2880, 8},
    // clang-format on
};

constexpr DpiCode kYResCodes[] = {
    // clang-format off
    {150, 1}, {180, 1}, {300, 2}, {360, 2}, {540, 3}, {600, 4}, {720, 4}, {1080, 5},
    {1200, 6}, {1440, 6}, {2160, 7}, {2400, 8}, {2880, 8},
    // clang-format on
};

template <size_t N>
uint8_t LookUpCode(const DpiCode (&table)[N], uint32_t dpi) {
    for (const DpiCode &row : table) {
        if (row.dpi == dpi) return row.code;
    }
    return 0;
}

struct VsdTriple {
    uint16_t p, q, r;
};
constexpr VsdTriple kVsdTriples[5] = {
    {6, 4, 1},  // any class outside 1..4
    {6, 4, 1}, {6, 4, 1}, {4, 2, 1}, {2, 4, 1},
};

}  // namespace

uint8_t XResCode(uint32_t xdpi) { return LookUpCode(kXResCodes, xdpi); }
uint8_t YResCode(uint32_t ydpi) { return LookUpCode(kYResCodes, ydpi); }

uint16_t ResolutionWord(const BoardMode *mode) {
    return static_cast<uint16_t>((XResCode(mode->xdpi) & 0x0F) | (YResCode(mode->ydpi) & 0x0F) << 4 |
                                 mode->pass << 8);
}

uint8_t DotSizeClassFor(uint32_t x, uint32_t y, uint8_t vsd, uint32_t reserved) {
    if (reserved == kVsdIsClassTag || reserved == kVsdIsClassTag2) return vsd;
    if (x < 600) return y <= 720 ? 2 : 1;
    if (y < 720) return 2;
    if (y == 720) return 1;
    if (y <= 2160) return vsd == 4 ? 4 : 1;
    return 1;
}

uint8_t DotSizeClass(const PrintJob *job) {
    return DotSizeClassFor(job->mode.xdpi, job->mode.ydpi, job->mode.vsd, job->prop.Reserved);
}

uint16_t VsdCode(const BoardMode *mode, uint8_t dotClass) {
    const VsdTriple &t = kVsdTriples[dotClass <= 4 ? dotClass : 0];
    const uint16_t code = static_cast<uint16_t>(0x8000 | t.p << 8 | t.q << 4 | t.r);
    sl_trace("\nVSD:0x%x XDPI:%d YDPI:%d vmode:%d Vsd:%d\n", code, mode->xdpi, mode->ydpi, mode->vsd,
             dotClass);
    return code;
}

}  // namespace sl
