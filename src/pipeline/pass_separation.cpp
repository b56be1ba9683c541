#include "pipeline/pass_separation.h"

#include <immintrin.h>

#include <cstring>

#include "pipeline/simd_support.h"
#include "platform/platform.h"

namespace sl {

namespace {

constexpr uint32_t kV = 16;        // bytes per vector
constexpr uint32_t kAhead = 1024;  // strip bytes read ahead of the loads

inline __m128i Load(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void Store(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

// Vector traits of the run kernel: one 16-byte vector, one cache line read
// ahead per four vectors.
struct V128 {
    using T = __m128i;
    static constexpr uint32_t kBytes = 16;
    static T Load(const uint8_t *p) { return sl::Load(p); }
    static void Store(uint8_t *p, T v) { sl::Store(p, v); }
    static T And(T a, T b) { return _mm_and_si128(a, b); }
    static void ReadAhead(const uint8_t *p) { _mm_prefetch(reinterpret_cast<const char *>(p), _MM_HINT_T0); }
};

}  // namespace

namespace sse {
namespace {
#define SL_KERNEL
using V = V128;
#include "pipeline/and_run_kernel.inc"
#undef SL_KERNEL
}  // namespace
}  // namespace sse

namespace avx2 {
namespace {

// 32-byte vectors, where the processor has them: two cache lines read ahead
// per four vectors.
struct V256 {
    using T = __m256i;
    static constexpr uint32_t kBytes = 32;
    SL_TARGET_AVX2 static T Load(const uint8_t *p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    }
    SL_TARGET_AVX2 static void Store(uint8_t *p, T v) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v);
    }
    SL_TARGET_AVX2 static T And(T a, T b) { return _mm256_and_si256(a, b); }
    SL_TARGET_AVX2 static void ReadAhead(const uint8_t *p) {
        _mm_prefetch(reinterpret_cast<const char *>(p), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char *>(p + 64), _MM_HINT_T0);
    }
};

#define SL_KERNEL SL_TARGET_AVX2
using V = V256;
#include "pipeline/and_run_kernel.inc"
#undef SL_KERNEL
}  // namespace
}  // namespace avx2

namespace {

// 16 output bytes from 32 source bytes: per 16-bit lane (low byte a = source
// byte 2k, high byte b = 2k + 1) the kept pixels of a and of b.
template <bool Odd>
inline __m128i SplitLane(__m128i w) {
    const __m128i pick = _mm_set1_epi16(static_cast<short>(0xCCCC));
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xF0F0));
    const __m128i low = _mm_set1_epi16(0x00FF);
    if (Odd) w = _mm_slli_epi16(w, 2);  // pixels 1 and 3 move to 0 and 2
    __m128i t = _mm_and_si128(w, pick);
    t = _mm_and_si128(_mm_or_si128(t, _mm_slli_epi16(t, 2)), high);
    return _mm_and_si128(_mm_or_si128(t, _mm_srli_epi16(t, 12)), low);
}

template <bool Odd>
inline __m128i Split16(const uint8_t *s) {
    return _mm_packus_epi16(SplitLane<Odd>(Load(s)), SplitLane<Odd>(Load(s + kV)));
}

inline uint8_t SplitByte(uint8_t a, uint8_t b, uint8_t odd) {
    if (odd) {
        a = static_cast<uint8_t>(a << 2);
        b = static_cast<uint8_t>(b << 2);
    }
    uint8_t ha = static_cast<uint8_t>((a & 0xC0) | ((a & 0x0C) << 2));
    uint8_t hb = static_cast<uint8_t>((b & 0xC0) | ((b & 0x0C) << 2));
    return static_cast<uint8_t>(ha | (hb >> 4));
}

template <bool Odd>
void SplitRun(uint8_t *d, const uint8_t *s, const uint8_t *m, uint32_t len) {
    if (len < kV) {
        for (uint32_t i = 0; i < len; ++i) d[i] = SplitByte(s[2 * i], s[2 * i + 1], Odd) & m[i];
        return;
    }
    uint32_t i = 0;
    for (; i + 2 * kV <= len; i += 2 * kV) {
        if (2 * i + kAhead < 2 * len)
            _mm_prefetch(reinterpret_cast<const char *>(s + 2 * i + kAhead), _MM_HINT_T0);
        __m128i a = _mm_and_si128(Split16<Odd>(s + 2 * i), Load(m + i));
        __m128i b = _mm_and_si128(Split16<Odd>(s + 2 * i + 2 * kV), Load(m + i + kV));
        Store(d + i, a);
        Store(d + i + kV, b);
    }
    for (; i + kV <= len; i += kV) Store(d + i, _mm_and_si128(Split16<Odd>(s + 2 * i), Load(m + i)));
    if (i < len) {
        uint32_t j = len - kV;
        Store(d + j, _mm_and_si128(Split16<Odd>(s + 2 * j), Load(m + j)));
    }
}

const uint8_t *SourceRow(const PassSource *src, uint32_t plane, uint32_t line) {
    return src->plane[plane] + static_cast<size_t>(src->lineOrder[line]) * src->stride;
}

// The start of the next source row, before the read-ahead of the row
// kernels reaches it.
inline void PrefetchStart(const uint8_t *row, uint32_t n) {
    uint32_t end = n < kAhead ? n : kAhead;
    for (uint32_t k = 0; k < end; k += 64) _mm_prefetch(reinterpret_cast<const char *>(row + k), _MM_HINT_T0);
}

// Nozzle rows at the top of the pass that print nothing: what the head's rows
// leave over once every pass has its softened rows and the feathering band
// its lines.
uint32_t IdleRows(const PassInfo *pi, const SoftenTable *table) {
    uint32_t used = pi->softendots * pi->PassNum + table->softLines;
    return used >= kNozzleLines ? 0 : kNozzleLines - used;
}

uint32_t PlanesOf(const PassInfo *pi) { return pi->colors < 6 ? pi->colors : 6; }

void SinglePass(const PassSource *src, uint8_t *const pass[6], PassInfo *pi) {
    const uint32_t n = pi->bytesperline;
    for (uint32_t i = 0; i < PlanesOf(pi); ++i) {
        uint8_t *dst = pass[kSlotOfPlane[i]];
        for (uint32_t j = 0; j < pi->nozzledpi && j < kNozzleLines; ++j)
            std::memcpy(dst + static_cast<size_t>(j) * n, SourceRow(src, i, j), n);
    }
    pi->feeddots = pi->ydpi / (pi->PassNum ? pi->PassNum : 1);
}

// Strip line that nozzle j prints: every (YDPI / 360)-th line from the
// vertical phase v.
uint32_t NozzleLine(const PassInfo *pi, uint32_t j, uint32_t v) { return j * pi->ydpi / 360 + v; }

// Clears the idle rows of every plane's pass buffer, then fills the others
// with rowOp(dst, source row, mask row). It goes line by line through the
// planes, so each feathering row is fetched once, and reads the start of
// the next source row (srcBytes long) ahead.
template <typename RowOp>
void MaskPassRows(const PassSource *src, uint8_t *const pass[6], const SoftenTable *table, const PassInfo *pi,
                  uint32_t v, uint32_t srcBytes, RowOp rowOp) {
    const uint32_t n = pi->bytesperline;
    const uint32_t idle = IdleRows(pi, table);
    const uint32_t planes = PlanesOf(pi);
    for (uint32_t i = 0; i < planes; ++i)
        std::memset(pass[kSlotOfPlane[i]], 0, static_cast<size_t>(idle) * n);
    for (uint32_t j = idle; j < kNozzleLines; ++j) {
        const uint8_t *mask = table->rows + static_cast<size_t>(j) * table->width;
        for (uint32_t i = 0; i < planes; ++i) {
            const uint32_t ni = i + 1 < planes ? i + 1 : 0, nj = i + 1 < planes ? j : j + 1;
            if (nj < kNozzleLines) PrefetchStart(SourceRow(src, ni, NozzleLine(pi, nj, v)), srcBytes);
            rowOp(pass[kSlotOfPlane[i]] + static_cast<size_t>(j) * n, SourceRow(src, i, NozzleLine(pi, j, v)),
                  mask);
        }
    }
}

bool PassIsBlank(const PassSource *src, const PassInfo *pi, uint32_t v) {
    for (uint32_t i = 0; i < PlanesOf(pi); ++i)
        for (uint32_t j = 0; j < kNozzleLines; ++j)
            if (!RowIsBlank(SourceRow(src, i, NozzleLine(pi, j, v)), pi->bytesperline)) return false;
    return true;
}

void InterleavedPass(const PassSource *src, uint8_t *const pass[6], const SoftenTable *table, PassInfo *pi,
                     KernelWidth kernels) {
    const uint32_t N = pi->PassNum;
    const uint32_t q = pi->seq % N;
    const uint32_t v = N - 1 - q;
    const uint32_t n = pi->bytesperline;
    const uint32_t phase = q * (table->width / N);

    pi->blankpass = PassIsBlank(src, pi, v) ? 1 : 0;
    if (!pi->blankpass) {
        MaskPassRows(src, pass, table, pi, v, n, [&](uint8_t *dst, const uint8_t *row, const uint8_t *mask) {
            MaskRow(dst, row, mask, table->width, phase, n, kernels);
        });
    }
    pi->feeddots = pi->softendots * pi->ydpi / 360 + (q == N - 1 ? N - 1 : static_cast<uint32_t>(-1));
}

void ColumnSplitPass(const PassSource *src, uint8_t *const pass[6], const SoftenTable *table, PassInfo *pi) {
    const uint32_t N = pi->PassNum;
    const uint32_t H = N / 2 ? N / 2 : 1;
    const uint32_t q = pi->seq;
    const uint8_t odd = ColumnSplitOdd(N, q);
    const uint32_t v = H - 1 - q % H;
    const uint32_t n = pi->bytesperline;
    MaskPassRows(src, pass, table, pi, v, 2 * n, [&](uint8_t *dst, const uint8_t *row, const uint8_t *mask) {
        SplitColumnsRow(dst, row, mask, table->width, n, odd);
    });
    pi->feeddots = pi->softendots * pi->ydpi / 360 + (q % H == H - 1 ? H - 1 : static_cast<uint32_t>(-1));
}

}  // namespace

void MaskRow(uint8_t *dst, const uint8_t *src, const uint8_t *mask, uint32_t width, uint32_t phase,
             uint32_t n, KernelWidth kernels) {
    uint32_t m = phase % width;
    for (uint32_t k = 0; k < n;) {
        uint32_t run = width - m < n - k ? width - m : n - k;
        if (kernels == KernelWidth::Wide)
            avx2::AndRun(dst + k, src + k, mask + m, run, n - k);
        else
            sse::AndRun(dst + k, src + k, mask + m, run, n - k);
        k += run;
        m = 0;
    }
}

void SplitColumnsRow(uint8_t *dst, const uint8_t *src, const uint8_t *mask, uint32_t width, uint32_t n,
                     uint8_t odd) {
    for (uint32_t k = 0; k < n; k += width) {
        uint32_t run = width < n - k ? width : n - k;
        if (odd)
            SplitRun<true>(dst + k, src + 2 * k, mask, run);
        else
            SplitRun<false>(dst + k, src + 2 * k, mask, run);
    }
}

bool RowIsBlank(const uint8_t *src, uint32_t n) {
    if (n < kV) {
        uint8_t acc = 0;
        for (uint32_t i = 0; i < n; ++i) acc |= src[i];
        return acc == 0;
    }
    uint32_t i = 0;
    for (; i + 4 * kV <= n; i += 4 * kV) {
        __m128i a = _mm_or_si128(Load(src + i), Load(src + i + kV));
        __m128i b = _mm_or_si128(Load(src + i + 2 * kV), Load(src + i + 3 * kV));
        __m128i o = _mm_or_si128(a, b);
        if (!_mm_testz_si128(o, o)) return false;
    }
    __m128i o = Load(src + n - kV);
    for (; i + kV <= n; i += kV) o = _mm_or_si128(o, Load(src + i));
    return _mm_testz_si128(o, o);
}

// Every line of the 720-dpi mode is visited by passes half a cycle apart,
// and two such visits must print opposite columns. For 2, 4 and 6 passes
// the parity rule (odd sequence numbers print the odd columns; 0 1 1 0 for
// 4 passes) does that; from 8 passes on, half a cycle is even and the rule
// would give both visits the same columns, printing half of them twice and
// the other half never, so there the first half of a cycle prints the even
// columns and the second half the odd ones.
uint8_t ColumnSplitOdd(uint32_t passCount, uint32_t seq) {
    const uint32_t N = passCount ? passCount : 1;
    const uint32_t m = seq % N;
    if (N == 4) return (m == 0 || m == 3) ? 0 : 1;
    if (N >= 8) return (m / (N / 2)) & 1;
    return m & 1;
}

void SeparatePass(const PassSource *src, uint8_t *const passBuf[6], const SoftenTable *table, PassInfo *pi,
                  KernelWidth kernels) {
    if (pi->passmode == 0) {
        sl_trace("HIGH_RESOLUTION_MODE\n");
        if (pi->PassNum <= 1)
            SinglePass(src, passBuf, pi);
        else
            InterleavedPass(src, passBuf, table, pi, kernels);
    } else {
        sl_trace("not HIGH_RESOLUTION_MODE\n");
        ColumnSplitPass(src, passBuf, table, pi);
    }
    sl_trace("PassSeq:%d PassSize:%d Dots:%d blank:%d\n", pi->seq, pi->LinesPerPass, pi->feeddots,
             pi->blankpass);
    if (pi->seqstep) pi->seq += 1;
}

}  // namespace sl
