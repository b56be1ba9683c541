#include "pipeline/swath_format.h"

#include <immintrin.h>

#include <cstring>

#include "pipeline/pass_separation.h"
#include "pipeline/simd_support.h"
#include "platform/platform.h"

namespace sl {

// How the formatter builds whole output bytes.
//
// Output slices are counted in groups of four from a reference slice: the
// smallest channel offset (L_TO_R) or the largest (R_TO_L). A channel whose
// offset lies 4B + r slices from the reference prints, in group g, the four
// pixels that start r pixels before byte column g - B of its pass line:
// whole bytes plus a 0-3 pixel shift, so every channel gives one byte per
// group and nozzle. For a block of 16 (or 32) nozzles x 16 groups, each
// channel's rows are loaded already shifted (a second load one byte back
// gives the pixels that move in) and transposed as 16 x 16 byte matrices,
// so a register holds a byte column for the block's nozzles. The eight
// channel registers then go through an 8 x 8 bit transpose (swap rounds with
// masks 0x0F, 0x33, 0x55): out comes one register per slice and bit plane,
// channel ch at the bit its plane map names. Each is stored once, so the
// buffer needs no clearing pass and no read-modify-write; all-zero blocks
// skip the transposes and store zeros.

namespace {

constexpr uint32_t kPlaneBytes = 180;  // one bit plane of a slice: a byte per nozzle
constexpr uint32_t kTile = 16;         // groups per column block, rows per slab
// Bytes of a pass line read ahead: eight column blocks. The rows of four
// column blocks already fill the first-level cache, so the read-ahead goes
// to the second level, where it stays until used.
constexpr int64_t kPrefetch = 128;

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
    size_t stride;   // two pass lines: the next nozzle of the same channel
    int64_t ref;     // slice of group 0, pixel 0
    int64_t dir;     // +1 L_TO_R, -1 R_TO_L
    uint32_t tiles;  // column blocks of 16 groups
};

inline void NoteInk(ChannelPlan &c, int64_t col0, uint32_t nonzeroCols) {
    if (!nonzeroCols) return;
    int64_t f = col0 + __builtin_ctz(nonzeroCols);
    int64_t l = col0 + 31 - __builtin_clz(nonzeroCols);
    if (f < c.first) c.first = f;
    if (l > c.last) c.last = l;
}

// 16 nozzles per register; the last block of 180 overlaps the one before.
struct V128 {
    using T = __m128i;
    static constexpr uint32_t kSlabs = 1;
    static constexpr bool kPairs = true;
    static constexpr uint32_t kNozzleBlocks[12] = {0, 16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 164};
    static T Load(const uint8_t *p, size_t) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
    // Eight nozzles of one group: the low or the high half of a pair register.
    static void Store(uint8_t *p, T v, int half) {
        if (half)
            _mm_storeh_pd(reinterpret_cast<double *>(p), _mm_castsi128_pd(v));
        else
            _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v);
    }
    static void Prefetch(const uint8_t *p, size_t) {
        _mm_prefetch(reinterpret_cast<const char *>(p), _MM_HINT_T1);
    }
    static T Zero() { return _mm_setzero_si128(); }
    static T Set1(uint8_t b) { return _mm_set1_epi8(static_cast<char>(b)); }
    static T Or(T a, T b) { return _mm_or_si128(a, b); }
    static T And(T a, T b) { return _mm_and_si128(a, b); }
    static T AndNot(T a, T b) { return _mm_andnot_si128(a, b); }
    static T Xor(T a, T b) { return _mm_xor_si128(a, b); }
    // clang-format off
    template <int S> static T Srli16(T a) { return _mm_srli_epi16(a, S); }
    template <int S> static T Slli16(T a) { return _mm_slli_epi16(a, S); }
    // clang-format on
    static T Srl16(T a, __m128i n) { return _mm_srl_epi16(a, n); }
    static T Sll16(T a, __m128i n) { return _mm_sll_epi16(a, n); }
    static bool IsZero(T a) { return _mm_testz_si128(a, a); }
    static uint32_t NonzeroBytes(T a) {
        return ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, Zero()))) & 0xFFFF;
    }
    static T Unpacklo8(T a, T b) { return _mm_unpacklo_epi8(a, b); }
    static T Unpackhi8(T a, T b) { return _mm_unpackhi_epi8(a, b); }
    static T Unpacklo16(T a, T b) { return _mm_unpacklo_epi16(a, b); }
    static T Unpackhi16(T a, T b) { return _mm_unpackhi_epi16(a, b); }
    static T Unpacklo32(T a, T b) { return _mm_unpacklo_epi32(a, b); }
    static T Unpackhi32(T a, T b) { return _mm_unpackhi_epi32(a, b); }
    static T Unpacklo64(T a, T b) { return _mm_unpacklo_epi64(a, b); }
    static T Unpackhi64(T a, T b) { return _mm_unpackhi_epi64(a, b); }
};

}  // namespace

namespace sse {
namespace {
#define SL_KERNEL
using Vec = V128;
#include "pipeline/swath_format_kernel.inc"
#undef SL_KERNEL
}  // namespace
}  // namespace sse

namespace avx2 {
namespace {

// 32 nozzles per register: slab 1 (the upper lane) is 16 nozzles further down.
struct V256 {
    using T = __m256i;
    static constexpr uint32_t kSlabs = 2;
    static constexpr bool kPairs = false;
    static constexpr uint32_t kNozzleBlocks[6] = {0, 32, 64, 96, 128, 148};
    SL_TARGET_AVX2 static T Load(const uint8_t *p, size_t slab) {
        return _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))),
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + slab)), 1);
    }
    SL_TARGET_AVX2 static void Store(uint8_t *p, T v, int) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v);
    }
    SL_TARGET_AVX2 static void Prefetch(const uint8_t *p, size_t slab) {
        _mm_prefetch(reinterpret_cast<const char *>(p), _MM_HINT_T1);
        _mm_prefetch(reinterpret_cast<const char *>(p + slab), _MM_HINT_T1);
    }
    SL_TARGET_AVX2 static T Zero() { return _mm256_setzero_si256(); }
    SL_TARGET_AVX2 static T Set1(uint8_t b) { return _mm256_set1_epi8(static_cast<char>(b)); }
    SL_TARGET_AVX2 static T Or(T a, T b) { return _mm256_or_si256(a, b); }
    SL_TARGET_AVX2 static T And(T a, T b) { return _mm256_and_si256(a, b); }
    SL_TARGET_AVX2 static T AndNot(T a, T b) { return _mm256_andnot_si256(a, b); }
    SL_TARGET_AVX2 static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
    // clang-format off
    template <int S> SL_TARGET_AVX2 static T Srli16(T a) { return _mm256_srli_epi16(a, S); }
    template <int S> SL_TARGET_AVX2 static T Slli16(T a) { return _mm256_slli_epi16(a, S); }
    // clang-format on
    SL_TARGET_AVX2 static T Srl16(T a, __m128i n) { return _mm256_srl_epi16(a, n); }
    SL_TARGET_AVX2 static T Sll16(T a, __m128i n) { return _mm256_sll_epi16(a, n); }
    SL_TARGET_AVX2 static bool IsZero(T a) { return _mm256_testz_si256(a, a); }
    SL_TARGET_AVX2 static uint32_t NonzeroBytes(T a) {
        __m128i both = _mm_or_si128(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
        return ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(both, _mm_setzero_si128()))) & 0xFFFF;
    }
    SL_TARGET_AVX2 static T Unpacklo8(T a, T b) { return _mm256_unpacklo_epi8(a, b); }
    SL_TARGET_AVX2 static T Unpackhi8(T a, T b) { return _mm256_unpackhi_epi8(a, b); }
    SL_TARGET_AVX2 static T Unpacklo16(T a, T b) { return _mm256_unpacklo_epi16(a, b); }
    SL_TARGET_AVX2 static T Unpackhi16(T a, T b) { return _mm256_unpackhi_epi16(a, b); }
    SL_TARGET_AVX2 static T Unpacklo32(T a, T b) { return _mm256_unpacklo_epi32(a, b); }
    SL_TARGET_AVX2 static T Unpackhi32(T a, T b) { return _mm256_unpackhi_epi32(a, b); }
    SL_TARGET_AVX2 static T Unpacklo64(T a, T b) { return _mm256_unpacklo_epi64(a, b); }
    SL_TARGET_AVX2 static T Unpackhi64(T a, T b) { return _mm256_unpackhi_epi64(a, b); }
};

#define SL_KERNEL SL_TARGET_AVX2
using Vec = V256;
#include "pipeline/swath_format_kernel.inc"
#undef SL_KERNEL
}  // namespace
}  // namespace avx2

namespace {

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

void FormatSwath(const uint8_t *const passBuf[6], SwathCanvas *swath, const FormatInfo *fmt,
                 const ChannelPlacement *place, uint32_t *start, uint32_t *end, KernelWidth kernels) {
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

    if (kernels == KernelWidth::Wide)
        avx2::FormatBlocks(fp, swath);
    else
        sse::FormatBlocks(fp, swath);

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
