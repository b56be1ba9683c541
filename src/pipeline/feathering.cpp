#include "pipeline/feathering.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/platform.h"

namespace sl {

namespace {

constexpr uint32_t kRows = kNozzleLines;  // mask rows: one per nozzle position of a pass

// Band heights by mode 0..3, per family (A, B, C), and the mask widths.
constexpr uint32_t kBandLines[3][4] = {{173, 144, 20, 0}, {180, 96, 24, 0}, {108, 88, 72, 0}};
constexpr uint32_t kWidthA[4] = {700, 700, 800, 880};
constexpr uint32_t kWidthB = 128;
constexpr uint32_t kWidthC = 880;

// Family C keeps separate tables for 6 and 8 passes; everything else uses
// the 4-pass pair. Family B's 8- and 12-pass band is its own pair too.
uint32_t PassClass(SoftenFamily f, uint32_t passCount) {
    if (f == kFamilyC) return passCount == 6 ? 6 : passCount == 8 ? 8 : 4;
    if (f == kFamilyB) return (passCount == 8 || passCount == 12) ? 8 : 0;
    return 0;
}

// Working rows of the seam generator, sized for the widest mask row; taken
// when a job starts, never while lines flow.
constexpr uint32_t kPixelsMax = kSoftenWidthMax * 4;
struct SeamRows {
    int32_t diffusion[2 * kPixelsMax + 3];  // errors for this row and the two below
    int32_t margin[kPixelsMax];             // how far each pixel's value lay from its threshold
    uint8_t bits[kPixelsMax];
    uint8_t above[kPixelsMax];
    uint16_t order[kPixelsMax];
};

uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// Brings a row to its exact share by flipping the pixels that came closest
// to the other decision, skipping first those next to a pixel of the kind
// being added, so the corrections do not clump.
void SettleRowShare(SeamRows &w, uint32_t px, uint32_t target, uint32_t count) {
    const uint8_t want = count < target ? 1 : 0;
    uint32_t n = 0;
    for (uint32_t x = 0; x < px; ++x)
        if (w.bits[x] != want) w.order[n++] = static_cast<uint16_t>(x);
    std::sort(w.order, w.order + n, [&w](uint16_t a, uint16_t b) {
        int32_t ma = w.margin[a] < 0 ? -w.margin[a] : w.margin[a];
        int32_t mb = w.margin[b] < 0 ? -w.margin[b] : w.margin[b];
        return ma != mb ? ma < mb : a < b;
    });
    uint32_t left = want ? target - count : count - target;
    for (int spaced = 1; spaced >= 0 && left; --spaced) {
        for (uint32_t i = 0; i < n && left; ++i) {
            uint32_t x = w.order[i];
            if (w.bits[x] == want) continue;
            uint32_t l = x ? x - 1 : px - 1, r = x + 1 == px ? 0 : x + 1;
            if (spaced && (w.bits[l] == want || w.bits[r] == want || w.above[l] == want ||
                           w.above[x] == want || w.above[r] == want))
                continue;
            w.bits[x] = want;
            --left;
        }
    }
}

}  // namespace

SoftenFamily SoftenFamilyOf(int8_t softenByte) {
    if (softenByte >= 64) return kFamilyA;
    if (softenByte < -64) return kFamilyB;
    return kFamilyC;
}

SoftenShape SoftenShapeFor(SoftenFamily family, uint32_t passCount, uint8_t softenMode) {
    uint8_t m = softenMode & 3;
    switch (family) {
    case kFamilyA: return {kWidthA[m], kBandLines[kFamilyA][m]};
    case kFamilyB:
        if (m == 0 && (passCount == 8 || passCount == 12)) return {kWidthB, 168};
        return {kWidthB, kBandLines[kFamilyB][m]};
    default:
        if (m == 0 && passCount == 8) return {kWidthC, 104};
        if (m == 1 && passCount == 6) return {kWidthC, 90};
        return {kWidthC, kBandLines[kFamilyC][m]};
    }
}

// The seam is hidden best when the pixels each pass keeps are spread evenly
// in both directions with no period the eye can lock onto: stripes or a
// regular stipple beat against the image (moire, bands) and plain random
// masks clump into grain. So the band is halftoned as one two-dimensional
// field, row r at a kept share of (r + 1/2) / rows, by error diffusion with
// the wide Stucki kernel, which places the kept pixels as blue noise: evenly
// spaced on average, aperiodic, with little low-frequency energy. The field is
// wrapped on a cylinder (a row's end feeds the start of the next) because a
// mask row repeats every mask width across the line, so its repeat shows no
// seam. A hashed threshold jitter breaks the regular textures that error
// diffusion forms near simple shares such as 1/2 or 1/3, a noise-primed error
// buffer avoids the start-up transient, and each row is then settled to its
// exact share. Integer arithmetic keeps the tables identical on every build.
void GenerateSeamMask(uint8_t *top, uint32_t rows, uint32_t width, uint32_t seed) {
    const auto rowsStore = std::make_unique<SeamRows>();
    SeamRows &w = *rowsStore;
    constexpr int32_t kOne = 1 << 16;
    constexpr int32_t kJitter = kOne / 8;
    // Stucki: 8 4 to the right, 2 4 8 4 2 and 1 2 4 2 1 on the next two rows, /42.
    constexpr int32_t kWeight[12] = {8, 4, 2, 4, 8, 4, 2, 1, 2, 4, 2, 1};
    const uint32_t px = width * 4;
    const uint32_t ring = 2 * px + 3;
    const uint32_t tap[12] = {1,      2,          px - 2,     px - 1, px,         px + 1,
                              px + 2, 2 * px - 2, 2 * px - 1, 2 * px, 2 * px + 1, 2 * px + 2};
    for (uint32_t i = 0; i < ring; ++i)
        w.diffusion[i] = static_cast<int32_t>(Mix(seed ^ (i * 0x9E3779B9u)) % kOne) - kOne / 2;
    std::memset(w.above, 0, px);
    uint32_t slot = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        const int32_t grey = static_cast<int32_t>((2 * r + 1) * static_cast<uint64_t>(kOne) / (2 * rows));
        uint32_t count = 0;
        for (uint32_t x = 0; x < px; ++x) {
            int32_t v = grey + w.diffusion[slot];
            w.diffusion[slot] = 0;
            uint32_t h = Mix((seed + r * px + x) * 0x85EBCA6Bu);
            int32_t threshold = kOne / 2 + static_cast<int32_t>(h % (2 * kJitter + 1)) - kJitter;
            int32_t e = v;
            w.bits[x] = v >= threshold;
            if (w.bits[x]) {
                e = v - kOne;
                ++count;
            }
            w.margin[x] = v - threshold;
            int32_t spent = 0;
            for (int k = 0; k < 11; ++k) {
                int32_t part = e * kWeight[k] / 42;
                uint32_t t = slot + tap[k];
                w.diffusion[t >= ring ? t - ring : t] += part;
                spent += part;
            }
            uint32_t t = slot + tap[11];
            w.diffusion[t >= ring ? t - ring : t] += e - spent;
            slot = slot + 1 == ring ? 0 : slot + 1;
        }
        const uint32_t target =
            static_cast<uint32_t>(((2 * r + 1) * static_cast<uint64_t>(px) + rows) / (2 * rows));
        if (count != target) SettleRowShare(w, px, target, count);
        uint8_t *row = top + static_cast<size_t>(r) * width;
        for (uint32_t b = 0; b < width; ++b) {
            const uint8_t *q = w.bits + 4 * b;
            row[b] = static_cast<uint8_t>((q[0] ? 0xC0 : 0) | (q[1] ? 0x30 : 0) | (q[2] ? 0x0C : 0) |
                                          (q[3] ? 0x03 : 0));
        }
        std::memcpy(w.above, w.bits, px);
    }
}

namespace {

// Every job with the same selection shares one set of tables, made by the
// first job that needs it (process-wide on purpose: see the note on
// Feathering). Entries are never changed or removed once made.
const SeamMasks *MasksFor(uint32_t key, uint32_t rows, uint32_t width) {
    static std::mutex madeLock;
    static std::map<uint32_t, std::unique_ptr<SeamMasks>> made;
    std::lock_guard<std::mutex> hold(madeLock);
    std::unique_ptr<SeamMasks> &m = made[key];
    if (!m) {
        m = std::make_unique<SeamMasks>();
        GenerateSeamMask(m->top, rows, width, key);
        const size_t bytes = static_cast<size_t>(rows) * width;
        for (size_t i = 0; i < bytes; ++i) m->bottom[i] = static_cast<uint8_t>(~m->top[i]);
    }
    return m.get();
}

}  // namespace

uint32_t SelectSoftenFamily(Feathering *f, uint32_t passCount, uint8_t softenMode, int8_t softenByte) {
    SoftenFamily family = SoftenFamilyOf(softenByte);
    SoftenShape shape = SoftenShapeFor(family, passCount, softenMode);
    f->width = shape.width;
    if (shape.lines == 0) return 0;
    uint32_t pclass = PassClass(family, passCount);
    uint32_t key = (family << 24) | ((softenMode & 3u) << 20) | (pclass << 12) | shape.lines;
    f->masks = MasksFor(key, shape.lines, shape.width);
    return shape.lines;
}

uint16_t SoftenDots(Feathering *f, uint32_t ydpi, bool xdpi720, uint8_t softenMode, int8_t softenByte) {
    uint32_t b = ydpi / 360;
    if (xdpi720) b *= 2;
    if (b == 0) b = 1;
    uint32_t s = SelectSoftenFamily(f, b, softenMode, softenByte);
    uint32_t d = (kRows - s) / b;
    sl_trace("%dSoftDots: pass:%d softlines:%d dots:%d mode:%d\n", static_cast<int>(kRows),
             static_cast<int>(b), static_cast<int>(s), static_cast<int>(d), softenMode);
    return static_cast<uint16_t>(d);
}

void BuildSoftenTable360(Feathering *f, uint8_t *table, const PassInfo *pi, int8_t softenByte) {
    const uint32_t n = pi->PassNum ? pi->PassNum : 1;
    const uint32_t s = SelectSoftenFamily(f, n, pi->softenmode, softenByte);
    const uint32_t w = f->width;
    if ((pi->softenmode & 3) == 3) {
        f->softLines = 0;
        std::memset(table, 0xFF, static_cast<size_t>(kRows) * w);
        return;
    }
    // The rows the paper advances over a cycle of n passes. A band taller
    // than that would overlap the bottom band with the top band of the same
    // pass (family B, mode 0, seven passes), so the band is cut to fit; the
    // tables stay complementary row for row, so every pixel is still printed
    // exactly once.
    uint32_t advance = pi->softendots * n;
    if (advance > kRows) advance = kRows;
    uint32_t band = s & ~1u;
    if (band > advance) band = advance & ~1u;
    if (band + advance > kRows) band = (kRows - advance) & ~1u;
    const uint32_t idle = kRows - band - advance;
    f->softLines = band;

    const size_t bw = static_cast<size_t>(band) * w;
    uint8_t *p = table;
    std::memset(p, 0x00, static_cast<size_t>(idle) * w);
    p += static_cast<size_t>(idle) * w;
    if (bw) std::memcpy(p, f->masks->top, bw);
    p += bw;
    std::memset(p, 0xFF, static_cast<size_t>(advance - band) * w);
    p += static_cast<size_t>(advance - band) * w;
    if (bw) std::memcpy(p, f->masks->bottom, bw);
    sl_trace(
        "BuildSoftenTable360 pass:%d passstep:%d softlines:%d sec0start:%d sec0end:%d "
        "sec1start:%d sec1end:%d\n",
        static_cast<int>(n), static_cast<int>(pi->softendots), static_cast<int>(band), static_cast<int>(idle),
        static_cast<int>(idle + band), static_cast<int>(kRows - band), static_cast<int>(kRows));
}

}  // namespace sl
