#include "pipeline/swath_format.h"

#include <smmintrin.h>

#include <cstring>

#include "pipeline/pass_separation.h"
#include "platform/platform.h"

namespace sl {

// How the formatter builds whole output bytes.
//
// Output slices are counted in groups of four from a reference slice: the
// smallest channel offset (L_TO_R) or the largest (R_TO_L). A channel whose
// offset lies 4B + r slices from the reference reads, for group g, the four
// pixels that start r pixels before byte column g - B of its pass line: whole
// bytes plus a 0-3 pixel shift, so every channel contributes one byte per
// group and nozzle. For a block of 16 nozzles x 16 groups, each channel's
// 16 rows are loaded (shifted) and transposed as a 16 x 16 byte matrix, so a
// register holds one group for 16 nozzles. The eight channel registers of a
// group then go through an 8 x 8 bit transpose (swap rounds with masks 0x0F,
// 0x33, 0x55): out comes one register per slice and bit plane, channel ch at
// the bit its plane map names, for 16 nozzles. Each is stored once, so the
// buffer needs no clearing pass and no read-modify-write.

namespace {

constexpr uint32_t kNozzles = 180;  // per channel
constexpr uint32_t kPlaneBytes = 180;
constexpr uint32_t kTile = 16;      // nozzles and groups per block
// 180 nozzles in blocks of 16; the last block overlaps the one before it.
constexpr uint32_t kNozzleBlocks[12] = {0, 16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 164};

inline __m128i Load(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void Store(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

struct ChannelPlan {
    const uint8_t *row0;  // pass line of nozzle 0
    int64_t col0;         // byte column of group 0 (= -B)
    uint32_t shift;       // 2r bits
    uint32_t bitRow;      // row of the bit transpose: 7 - plane bit
    bool firstOfRow;      // the first channel on that bit writes, later ones OR
    uint8_t ch;
    int64_t first, last;  // inked byte columns
};

struct FormatPlan {
    ChannelPlan chan[8];
    uint32_t count;
    uint32_t bpl;
    size_t stride;  // two pass lines: the next nozzle of the same channel
    int64_t ref;    // slice of group 0, pixel 0
    int64_t dir;    // +1 L_TO_R, -1 R_TO_L
    uint32_t tiles; // column blocks of 16 groups
};

inline void Transpose16(__m128i x[16]) {
    __m128i t[16], u[16];
    for (int i = 0; i < 8; ++i) {
        t[2 * i] = _mm_unpacklo_epi8(x[2 * i], x[2 * i + 1]);
        t[2 * i + 1] = _mm_unpackhi_epi8(x[2 * i], x[2 * i + 1]);
    }
    for (int b = 0; b < 16; b += 4) {
        u[b] = _mm_unpacklo_epi16(t[b], t[b + 2]);
        u[b + 1] = _mm_unpackhi_epi16(t[b], t[b + 2]);
        u[b + 2] = _mm_unpacklo_epi16(t[b + 1], t[b + 3]);
        u[b + 3] = _mm_unpackhi_epi16(t[b + 1], t[b + 3]);
    }
    // u[4k + m]: rows 4k..4k+3, columns 4m..4m+3.
    for (int h = 0; h < 16; h += 8) {
        for (int m = 0; m < 4; ++m) {
            t[h + 2 * m] = _mm_unpacklo_epi32(u[h + m], u[h + 4 + m]);
            t[h + 2 * m + 1] = _mm_unpackhi_epi32(u[h + m], u[h + 4 + m]);
        }
    }
    // t[8h + j]: rows 8h..8h+7, columns 2j, 2j+1.
    for (int j = 0; j < 8; ++j) {
        x[2 * j] = _mm_unpacklo_epi64(t[j], t[8 + j]);
        x[2 * j + 1] = _mm_unpackhi_epi64(t[j], t[8 + j]);
    }
}

inline void SwapBits(__m128i &a, __m128i &b, int s, __m128i m) {
    __m128i t = _mm_and_si128(_mm_xor_si128(a, _mm_srli_epi16(b, s)), m);
    a = _mm_xor_si128(a, t);
    b = _mm_xor_si128(b, _mm_slli_epi16(t, s));
}

// Row r, bit 7 - c of a[r] becomes row c, bit 7 - r.
inline void TransposeBits(__m128i a[8]) {
    const __m128i m4 = _mm_set1_epi8(0x0F), m2 = _mm_set1_epi8(0x33), m1 = _mm_set1_epi8(0x55);
    SwapBits(a[0], a[4], 4, m4);
    SwapBits(a[1], a[5], 4, m4);
    SwapBits(a[2], a[6], 4, m4);
    SwapBits(a[3], a[7], 4, m4);
    SwapBits(a[0], a[2], 2, m2);
    SwapBits(a[1], a[3], 2, m2);
    SwapBits(a[4], a[6], 2, m2);
    SwapBits(a[5], a[7], 2, m2);
    SwapBits(a[0], a[1], 1, m1);
    SwapBits(a[2], a[3], 1, m1);
    SwapBits(a[4], a[5], 1, m1);
    SwapBits(a[6], a[7], 1, m1);
}

inline void NoteInk(ChannelPlan &c, int64_t col0, uint32_t nonzeroCols) {
    if (!nonzeroCols) return;
    int64_t f = col0 + __builtin_ctz(nonzeroCols);
    int64_t l = col0 + 31 - __builtin_clz(nonzeroCols);
    if (f < c.first) c.first = f;
    if (l > c.last) c.last = l;
}

// Loads channel c's 16 x 16 block (groups g0.., nozzles n0..) into x, shifted
// into group alignment. Returns false when the block holds no ink.
inline bool LoadBlock(ChannelPlan &c, const FormatPlan &fp, int64_t g0, uint32_t n0, __m128i x[16]) {
    const int64_t col = g0 + c.col0;
    const int64_t lowCol = col - (c.shift ? 1 : 0);
    const int64_t bpl = fp.bpl;
    if (col + kTile <= 0 || lowCol >= bpl) return false;
    const uint8_t *row = c.row0 + n0 * fp.stride;
    if (lowCol >= 0 && col + kTile <= bpl) {
        __m128i cols = _mm_setzero_si128(), acc;
        if (c.shift) {
            const __m128i sr = _mm_cvtsi32_si128(static_cast<int>(c.shift));
            const __m128i sl = _mm_cvtsi32_si128(static_cast<int>(8 - c.shift));
            const __m128i keepLo = _mm_set1_epi8(static_cast<char>(0xFF >> c.shift));
            acc = _mm_setzero_si128();
            for (uint32_t k = 0; k < kTile; ++k, row += fp.stride) {
                __m128i lo = Load(row + col), hi = Load(row + col - 1);
                cols = _mm_or_si128(cols, lo);
                x[k] = _mm_or_si128(_mm_and_si128(_mm_srl_epi16(lo, sr), keepLo),
                                    _mm_andnot_si128(keepLo, _mm_sll_epi16(hi, sl)));
                acc = _mm_or_si128(acc, x[k]);
            }
        } else {
            for (uint32_t k = 0; k < kTile; ++k, row += fp.stride) {
                x[k] = Load(row + col);
                cols = _mm_or_si128(cols, x[k]);
            }
            acc = cols;
        }
        if (!_mm_testz_si128(cols, cols))
            NoteInk(c, col, ~_mm_movemask_epi8(_mm_cmpeq_epi8(cols, _mm_setzero_si128())) & 0xFFFF);
        return !_mm_testz_si128(acc, acc);
    }
    // Block across the start or the end of the line: bytes outside read as 0.
    alignas(16) uint8_t buf[kTile][kTile];
    uint32_t inked = 0;
    bool any = false;
    for (uint32_t k = 0; k < kTile; ++k, row += fp.stride) {
        for (uint32_t j = 0; j < kTile; ++j) {
            int64_t b = col + j;
            uint32_t lo = (b >= 0 && b < bpl) ? row[b] : 0;
            uint32_t hi = (c.shift && b - 1 >= 0 && b - 1 < bpl) ? row[b - 1] : 0;
            if (lo) inked |= 1u << j;
            buf[k][j] = static_cast<uint8_t>(((hi << 8) | lo) >> c.shift);
            any |= buf[k][j] != 0;
        }
        x[k] = _mm_load_si128(reinterpret_cast<const __m128i *>(buf[k]));
    }
    NoteInk(c, col, inked);
    return any;
}

// Writes the eight registers of one group (slices i = 0..3, high plane then
// low plane) to the slices at p, p + step, p + 2 step, p + 3 step.
inline void StoreGroup(uint8_t *p, ptrdiff_t step, const __m128i o[8]) {
    Store(p, o[0]);
    Store(p + kPlaneBytes, o[1]);
    Store(p + step, o[2]);
    Store(p + step + kPlaneBytes, o[3]);
    Store(p + 2 * step, o[4]);
    Store(p + 2 * step + kPlaneBytes, o[5]);
    Store(p + 3 * step, o[6]);
    Store(p + 3 * step + kPlaneBytes, o[7]);
}

// The same, one slice at a time, skipping slices outside the canvas.
void StoreGroupClipped(uint8_t *data, uint32_t slices, int64_t slice0, int64_t dir, uint32_t n0,
                       const __m128i o[8]) {
    for (int i = 0; i < 4; ++i) {
        int64_t s = slice0 + dir * i;
        if (s < 0 || s >= slices) continue;
        uint8_t *p = data + s * kSliceBytes + n0;
        Store(p, o[2 * i]);
        Store(p + kPlaneBytes, o[2 * i + 1]);
    }
}

void FormatColumnBlock(FormatPlan &fp, SwathCanvas *cv, uint32_t tile) {
    const int64_t g0 = static_cast<int64_t>(tile) * kTile;
    const int64_t sliceFirst = fp.ref + fp.dir * 4 * g0;
    const int64_t sliceLast = fp.ref + fp.dir * (4 * (g0 + kTile) - 1);
    const int64_t lo = sliceFirst < sliceLast ? sliceFirst : sliceLast;
    const int64_t hi = sliceFirst < sliceLast ? sliceLast : sliceFirst;
    const bool clipped = lo < 0 || hi >= cv->slices;
    const ptrdiff_t step = static_cast<ptrdiff_t>(fp.dir * kSliceBytes);

    alignas(16) __m128i block[kTile][8];
    for (auto &g : block)
        for (auto &r : g) r = _mm_setzero_si128();
    for (uint32_t n0 : kNozzleBlocks) {
        bool any = false;
        for (uint32_t i = 0; i < fp.count; ++i) {
            ChannelPlan &c = fp.chan[i];
            __m128i x[kTile];
            if (!LoadBlock(c, fp, g0, n0, x)) {
                if (c.firstOfRow)
                    for (uint32_t g = 0; g < kTile; ++g) block[g][c.bitRow] = _mm_setzero_si128();
                continue;
            }
            any = true;
            Transpose16(x);
            if (c.firstOfRow)
                for (uint32_t g = 0; g < kTile; ++g) block[g][c.bitRow] = x[g];
            else
                for (uint32_t g = 0; g < kTile; ++g) block[g][c.bitRow] = _mm_or_si128(block[g][c.bitRow], x[g]);
        }
        __m128i out[8];
        if (!any)
            for (auto &o : out) o = _mm_setzero_si128();
        for (uint32_t g = 0; g < kTile; ++g) {
            if (any) {
                for (int r = 0; r < 8; ++r) out[r] = block[g][r];
                TransposeBits(out);
            }
            int64_t slice0 = sliceFirst + fp.dir * 4 * static_cast<int64_t>(g);
            if (clipped)
                StoreGroupClipped(cv->data, cv->slices, slice0, fp.dir, n0, out);
            else
                StoreGroup(cv->data + slice0 * kSliceBytes + n0, step, out);
        }
    }
}

void ClearSlices(SwathCanvas *cv, uint32_t from, uint32_t to) {
    if (to > cv->slices) to = cv->slices;
    if (from < to)
        std::memset(cv->data + static_cast<size_t>(from) * kSliceBytes, 0,
                    static_cast<size_t>(to - from) * kSliceBytes);
}

}  // namespace

void SwathCanvasInit(SwathCanvas *canvas, uint8_t *data, uint32_t slices, int knownZero) {
    canvas->data = data;
    canvas->slices = slices;
    canvas->dirtyLo = 0;
    canvas->dirtyHi = knownZero ? 0 : slices;
}

int ChannelSlot(const FormatInfo *fmt, uint8_t ch) {
    for (uint32_t s = 0; s < 6; ++s) {
        if (kSlotOfPlane[s] >= fmt->colors) continue;
        if (fmt->C1[s] == ch || fmt->C2[s] == ch) return static_cast<int>(s);
    }
    return -1;
}

void Tarn_FormatProcess360(const uint8_t *const passBuf[6], SwathCanvas *swath, const FormatInfo *fmt,
                           const ChannelPlacement *place, uint32_t *start, uint32_t *end) {
    *start = 0;
    *end = 0;
    FormatPlan fp{};
    fp.bpl = fmt->bytesperline;
    fp.stride = 2 * static_cast<size_t>(fmt->bytesperline);
    fp.dir = fmt->direction == L_TO_R ? 1 : -1;

    uint8_t rowTaken = 0;
    for (uint8_t ch = 0; ch < kChannels && fp.bpl; ++ch) {
        int slot = ChannelSlot(fmt, ch);
        uint8_t bit = fmt->planemap[ch];
        if (slot < 0 || bit > 7) continue;
        ChannelPlan &c = fp.chan[fp.count++];
        c.ch = ch;
        c.row0 = passBuf[slot] + ((ch & 1) ? 0 : fp.bpl);
        c.bitRow = 7u - bit;
        c.firstOfRow = !(rowTaken & (1u << c.bitRow));
        rowTaken |= static_cast<uint8_t>(1u << c.bitRow);
        c.first = INT64_MAX;
        c.last = -1;
    }
    if (fp.count == 0) {
        ClearSlices(swath, swath->dirtyLo, swath->dirtyHi);
        swath->dirtyLo = swath->dirtyHi = 0;
        return;
    }
    fp.ref = place->offset[fp.chan[0].ch];
    for (uint32_t i = 1; i < fp.count; ++i) {
        int64_t off = place->offset[fp.chan[i].ch];
        if (fp.dir > 0 ? off < fp.ref : off > fp.ref) fp.ref = off;
    }
    int64_t groups = 0;
    for (uint32_t i = 0; i < fp.count; ++i) {
        ChannelPlan &c = fp.chan[i];
        int64_t d = fp.dir * (static_cast<int64_t>(place->offset[c.ch]) - fp.ref);
        c.col0 = -(d / 4);
        c.shift = static_cast<uint32_t>(2 * (d % 4));
        int64_t need = d / 4 + fp.bpl + (c.shift ? 1 : 0);
        if (need > groups) groups = need;
    }
    fp.tiles = static_cast<uint32_t>((groups + kTile - 1) / kTile);

    for (uint32_t t = 0; t < fp.tiles; ++t) FormatColumnBlock(fp, swath, t);

    // Slices written: everything else of the canvas must hold zeros.
    int64_t span = static_cast<int64_t>(fp.tiles) * kTile * 4;
    int64_t wLo = fp.dir > 0 ? fp.ref : fp.ref - span + 1;
    int64_t wHi = fp.dir > 0 ? fp.ref + span : fp.ref + 1;
    if (wLo < 0) wLo = 0;
    if (wHi > swath->slices) wHi = swath->slices;
    if (wHi < wLo) wHi = wLo;
    // [dirtyLo, dirtyHi) minus [wLo, wHi): at most two stretches.
    const int64_t dLo = swath->dirtyLo, dHi = swath->dirtyHi;
    ClearSlices(swath, static_cast<uint32_t>(dLo), static_cast<uint32_t>(dHi < wLo ? dHi : wLo));
    ClearSlices(swath, static_cast<uint32_t>(dLo > wHi ? dLo : wHi), static_cast<uint32_t>(dHi));
    swath->dirtyLo = static_cast<uint32_t>(wLo);
    swath->dirtyHi = static_cast<uint32_t>(wHi);

    uint32_t lowest = UINT32_MAX, highest = 0;
    for (uint32_t i = 0; i < fp.count; ++i) {
        const ChannelPlan &c = fp.chan[i];
        if (c.last < 0) {
            sl_trace("COLOR:%d CHAN:%d empty\n", ChannelSlot(fmt, c.ch), c.ch);
            continue;
        }
        uint32_t first = place->base[c.ch] + 4 * static_cast<uint32_t>(c.first);
        uint32_t last = place->base[c.ch] + 4 * static_cast<uint32_t>(c.last) + place->lastPad;
        if (first < lowest) lowest = first;
        if (last > highest) highest = last;
    }
    if (highest) {
        *start = lowest;
        *end = highest;
    }
}

void RoundSwathExtent(uint32_t *start, uint32_t *end) {
    *start &= ~15u;
    if (*end) *end = (*end + 16) & ~15u;
}

}  // namespace sl
