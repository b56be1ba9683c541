#include "support/reference_kernels.h"

#include <cstring>

namespace sl::ref {

void MaskRow(uint8_t *dst, const uint8_t *src, const uint8_t *mask, uint32_t width, uint32_t phase,
             uint32_t n) {
    for (uint32_t k = 0; k < n; ++k) dst[k] = src[k] & mask[(k + phase) % width];
}

void SplitColumnsRow(uint8_t *dst, const uint8_t *src, const uint8_t *mask, uint32_t width, uint32_t n,
                     uint8_t odd) {
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t a = src[2 * k], b = src[2 * k + 1], out;
        if (!odd)
            out = (a & 0xC0) | ((a & 0x0C) << 2) | ((b & 0xC0) >> 4) | ((b & 0x0C) >> 2);
        else
            out = ((a & 0x30) << 2) | ((a & 0x03) << 4) | ((b & 0x30) >> 2) | (b & 0x03);
        dst[k] = static_cast<uint8_t>(out & mask[k % width]);
    }
}

bool RowIsBlank(const uint8_t *src, uint32_t n) {
    for (uint32_t k = 0; k < n; ++k)
        if (src[k]) return false;
    return true;
}

namespace {
const uint8_t *Row(const PassSource *src, uint32_t plane, uint32_t line) {
    return src->plane[plane] + static_cast<size_t>(src->lineOrder[line]) * src->stride;
}
uint32_t Idle(const PassInfo *pi, const SoftenTable *t) {
    uint32_t used = pi->softendots * pi->PassNum + t->softLines;
    return used >= 360 ? 0 : 360 - used;
}
uint32_t Planes(const PassInfo *pi) { return pi->colors < 6 ? pi->colors : 6; }
}  // namespace

void PassProcess(const PassSource *src, uint8_t *const passBuf[6], const SoftenTable *table, PassInfo *pi,
                 uint32_t *seq) {
    const uint32_t N = pi->PassNum ? pi->PassNum : 1, n = pi->bytesperline, W = table->width;
    if (pi->passmode == 0 && N == 1) {
        for (uint32_t i = 0; i < Planes(pi); ++i)
            for (uint32_t j = 0; j < pi->nozzledpi; ++j)
                std::memcpy(passBuf[kSlotOfPlane[i]] + j * n, Row(src, i, j), n);
        pi->feeddots = pi->ydpi / N;
    } else if (pi->passmode == 0) {
        uint32_t q = *seq % N, v = N - 1 - q, T = Idle(pi, table), h = q * (W / N);
        pi->blankpass = 1;
        for (uint32_t i = 0; i < Planes(pi); ++i)
            for (uint32_t j = 0; j < 360; ++j)
                if (!RowIsBlank(Row(src, i, j * pi->ydpi / 360 + v), n)) {
                    pi->blankpass = 0;
                    break;
                }
        if (!pi->blankpass)
            for (uint32_t i = 0; i < Planes(pi); ++i) {
                uint8_t *dst = passBuf[kSlotOfPlane[i]];
                for (uint32_t j = 0; j < T; ++j) std::memset(dst + j * n, 0, n);
                for (uint32_t j = T; j < 360; ++j) {
                    const uint8_t *s = Row(src, i, j * pi->ydpi / 360 + v);
                    for (uint32_t k = 0; k < n; ++k) dst[j * n + k] = s[k] & table->rows[j * W + (k + h) % W];
                }
            }
        pi->feeddots = pi->softendots * pi->ydpi / 360;
        pi->feeddots = q == N - 1 ? pi->feeddots + (N - 1) : pi->feeddots - 1;
    } else {
        uint32_t H = N / 2 ? N / 2 : 1, q = *seq, v = H - 1 - q % H, T = Idle(pi, table);
        uint8_t odd = ColumnSplitOdd(N, q);
        for (uint32_t i = 0; i < Planes(pi); ++i) {
            uint8_t *dst = passBuf[kSlotOfPlane[i]];
            for (uint32_t j = 0; j < T; ++j) std::memset(dst + j * n, 0, n);
            for (uint32_t j = T; j < 360; ++j)
                SplitColumnsRow(dst + j * n, Row(src, i, j * pi->ydpi / 360 + v), table->rows + j * W, W, n,
                                odd);
        }
        pi->feeddots = pi->softendots * pi->ydpi / 360;
        pi->feeddots = q % H == H - 1 ? pi->feeddots + (H - 1) : pi->feeddots - 1;
    }
    if (pi->seqstep) *seq += 1;
}

void FormatProcess360(const uint8_t *const passBuf[6], uint8_t *swath, uint32_t slices, const FormatInfo *fmt,
                      const ChannelPlacement *place, uint32_t *start, uint32_t *end) {
    std::memset(swath, 0, static_cast<size_t>(slices) * kSliceBytes);
    const uint32_t n = fmt->bytesperline;
    const bool ltr = fmt->direction == L_TO_R;
    uint32_t lowest = UINT32_MAX, highest = 0;
    uint8_t work[8][180];
    for (uint8_t ch = 0; ch < 8; ++ch) {
        int slot = ChannelSlot(fmt, ch);
        if (slot < 0 || fmt->planemap[ch] > 7) continue;
        const uint8_t *src = passBuf[slot] + ((ch & 1) ? 0 : n);
        const uint8_t bit = static_cast<uint8_t>(1u << fmt->planemap[ch]);
        uint32_t first = UINT32_MAX, last = 0;
        bool any = false;
        for (uint32_t b = 0; b < n; ++b) {
            // The eight planes of this byte column's four pixels.
            int64_t slice[4];
            for (int i = 0; i < 4; ++i)
                slice[i] = ltr ? int64_t(place->offset[ch]) + 4 * int64_t(b) + i
                               : int64_t(place->offset[ch]) - 4 * int64_t(b) - i;
            for (int i = 0; i < 4; ++i)
                for (int pl = 0; pl < 2; ++pl) {
                    if (slice[i] >= 0 && slice[i] < slices)
                        std::memcpy(work[2 * i + pl], swath + slice[i] * kSliceBytes + pl * 180, 180);
                    else
                        std::memset(work[2 * i + pl], 0, 180);
                }
            for (uint32_t nz = 0; nz < 180; ++nz) {
                uint8_t v = src[2 * nz * n + b];
                if (!v) continue;
                any = true;
                if (b < first) first = b;
                if (b > last) last = b;
                for (int k = 7; k >= 0; --k)
                    if (v & (1u << k)) work[7 - k][nz] |= bit;
            }
            for (int i = 0; i < 4; ++i)
                for (int pl = 0; pl < 2; ++pl)
                    if (slice[i] >= 0 && slice[i] < slices)
                        std::memcpy(swath + slice[i] * kSliceBytes + pl * 180, work[2 * i + pl], 180);
        }
        if (!any) continue;
        uint32_t f = place->base[ch] + 4 * first, l = place->base[ch] + 4 * last + place->lastPad;
        if (f < lowest) lowest = f;
        if (l > highest) highest = l;
    }
    *start = highest ? lowest : 0;
    *end = highest ? highest : 0;
}

}  // namespace sl::ref

namespace sl {

FormatInfo BuiltinFormat(uint32_t bpl, uint8_t colors, int8_t direction) {
    FormatInfo f{};
    f.bytesperline = bpl;
    f.colors = colors;
    const uint8_t c1[4] = {6, 4, 2, 0}, c2[4] = {7, 5, 3, 1};
    for (int s = 0; s < 4; ++s) {
        f.C1[s] = c1[s];
        f.C2[s] = c2[s];
    }
    for (int i = 0; i < 16; ++i) f.planemap[i] = static_cast<uint8_t>(i);
    f.direction = direction;
    return f;
}

}  // namespace sl
