// The fast kernels against their plain references, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pipeline/feathering.h"
#include "pipeline/pass_separation.h"
#include "pipeline/simd_support.h"
#include "pipeline/swath_format.h"
#include "support/reference_kernels.h"

namespace sl {
namespace {

enum class Fill { Random, Zero, Ones, Sparse };

void FillBytes(std::vector<uint8_t> &v, Fill f, std::mt19937 &rng) {
    for (auto &b : v) {
        switch (f) {
        case Fill::Random: b = static_cast<uint8_t>(rng()); break;
        case Fill::Zero: b = 0; break;
        case Fill::Ones: b = 0xFF; break;
        case Fill::Sparse: b = (rng() % 23 == 0) ? static_cast<uint8_t>(rng()) : 0; break;
        }
    }
}

std::vector<uint8_t> RandomMask(uint32_t bytes, std::mt19937 &rng) {
    // Whole-pixel masks, as the feathering tables hold.
    std::vector<uint8_t> m(bytes);
    for (auto &b : m) {
        uint32_t r = rng();
        b = static_cast<uint8_t>(((r & 1) ? 0xC0 : 0) | ((r & 2) ? 0x30 : 0) | ((r & 4) ? 0x0C : 0) |
                                 ((r & 8) ? 0x03 : 0));
    }
    return m;
}

// Every kernel test runs with the 128-bit kernels and, where the processor
// has them, the 256-bit ones.
class Kernels : public ::testing::TestWithParam<int> {
protected:
    KernelWidth Width() const {
        return UsableKernelWidth(GetParam() ? KernelWidth::Wide : KernelWidth::Baseline);
    }
};
INSTANTIATE_TEST_SUITE_P(Widths, Kernels, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int> &i) {
                             return i.param ? "wide" : "baseline";
                         });

TEST_P(Kernels, MaskRowMatchesReference) {
    std::mt19937 rng(1);
    for (uint32_t width : {128u, 700u, 800u, 880u, 20u}) {
        auto mask = RandomMask(width, rng);
        for (uint32_t n : {1u, 7u, 15u, 16u, 17u, 63u, 129u, 701u, 1501u, 5703u}) {
            for (Fill f : {Fill::Random, Fill::Zero, Fill::Ones}) {
                std::vector<uint8_t> src(n);
                FillBytes(src, f, rng);
                for (uint32_t phase : {0u, 1u, width / 3, width - 1}) {
                    std::vector<uint8_t> a(n + 32, 0xA5), b(n + 32, 0xA5);
                    MaskRow(a.data() + 16, src.data(), mask.data(), width, phase, n, Width());
                    ref::MaskRow(b.data() + 16, src.data(), mask.data(), width, phase, n);
                    ASSERT_EQ(a, b) << "width " << width << " n " << n << " phase " << phase;
                }
            }
        }
    }
}

TEST_P(Kernels, SplitColumnsMatchesReference) {
    std::mt19937 rng(2);
    for (uint32_t width : {128u, 700u, 880u, 24u}) {
        auto mask = RandomMask(width, rng);
        for (uint32_t n : {1u, 5u, 16u, 31u, 33u, 880u, 1501u, 2851u}) {
            for (Fill f : {Fill::Random, Fill::Zero, Fill::Ones}) {
                std::vector<uint8_t> src(2 * n);
                FillBytes(src, f, rng);
                for (uint8_t odd : {0, 1}) {
                    std::vector<uint8_t> a(n + 32, 0x5A), b(n + 32, 0x5A);
                    SplitColumnsRow(a.data() + 16, src.data(), mask.data(), width, n, odd);
                    ref::SplitColumnsRow(b.data() + 16, src.data(), mask.data(), width, n, odd);
                    ASSERT_EQ(a, b) << "width " << width << " n " << n << " odd " << int(odd);
                }
            }
        }
    }
}

TEST_P(Kernels, BlankRowFindsAnySingleByte) {
    for (uint32_t n : {1u, 15u, 16u, 17u, 64u, 65u, 200u}) {
        std::vector<uint8_t> row(n, 0);
        EXPECT_TRUE(RowIsBlank(row.data(), n));
        for (uint32_t i = 0; i < n; ++i) {
            row[i] = 0x01;
            ASSERT_FALSE(RowIsBlank(row.data(), n)) << n << " at " << i;
            row[i] = 0;
        }
    }
}

// --- whole passes ----------------------------------------------------------

struct PassCase {
    uint8_t passmode;
    uint8_t passNum;
    uint32_t ydpi;
    uint32_t bpl;
    uint8_t colors;
};

TEST_P(Kernels, PassMatchesReferenceOverACycle) {
    const PassCase cases[] = {
        // clang-format off
        {0, 1, 360, 1501, 4},  {0, 2, 720, 333, 4},  {0, 3, 1080, 257, 3}, {0, 4, 1440, 1501, 4},
        {0, 7, 2520, 97, 6},   {1, 2, 360, 701, 4},  {1, 4, 720, 129, 4},  {1, 6, 1080, 77, 2},
        {1, 8, 1440, 1501, 4},
        // clang-format on
    };
    std::mt19937 rng(3);
    for (const PassCase &c : cases) {
        const uint32_t lines = c.ydpi / 360 * 360;
        const uint32_t stride = c.passmode ? 2 * c.bpl : c.bpl;
        std::vector<std::vector<uint8_t>> strip(6, std::vector<uint8_t>(size_t(lines) * stride));
        for (auto &p : strip) {
            FillBytes(p, Fill::Random, rng);
            // About a third of the lines blank.
            for (uint32_t r = 0; r < lines; ++r)
                if (rng() % 3 == 0) std::memset(p.data() + size_t(r) * stride, 0, stride);
        }
        std::vector<uint32_t> order(lines);
        for (uint32_t i = 0; i < lines; ++i) order[i] = i;
        std::shuffle(order.begin(), order.end(), rng);
        PassSource src{};
        for (int i = 0; i < 6; ++i) src.plane[i] = strip[i].data();
        src.stride = stride;
        src.lineOrder = order.data();

        PassInfo pi{};
        pi.PassNum = c.passNum;
        pi.passmode = c.passmode;
        pi.colors = c.colors;
        pi.bytesperline = c.bpl;
        pi.ydpi = c.ydpi;
        pi.nozzledpi = 360;
        pi.softendots = static_cast<uint16_t>((360 - 108) / c.passNum);
        pi.seqstep = 2;
        std::vector<uint8_t> table(360 * 880);
        auto m = RandomMask(360 * 880, rng);
        std::memcpy(table.data(), m.data(), table.size());
        SoftenTable st{table.data(), 880, 108};

        for (uint32_t q = 0; q < 2u * c.passNum; ++q) {
            std::vector<std::vector<uint8_t>> fa(6, std::vector<uint8_t>(360 * c.bpl, 0xEE)), fb = fa;
            uint8_t *pa[6], *pb[6];
            for (int i = 0; i < 6; ++i) {
                pa[i] = fa[i].data();
                pb[i] = fb[i].data();
            }
            PassInfo a = pi, b = pi;
            uint32_t seqB = q;
            a.seq = q;
            SeparatePass(&src, pa, &st, &a, Width());
            ref::PassProcess(&src, pb, &st, &b, &seqB);
            ASSERT_EQ(a.seq, seqB);
            ASSERT_EQ(a.feeddots, b.feeddots) << int(c.passNum) << " q " << q;
            ASSERT_EQ(a.blankpass, b.blankpass);
            if (a.blankpass) continue;
            for (int s = 0; s < 6; ++s) {
                ASSERT_EQ(fa[s], fb[s]) << "slot " << s << " q " << q;
            }
        }
    }
}

TEST_P(Kernels, PassBlankStripMarksPassAndStillFeeds) {
    const uint32_t bpl = 64, lines = 1440;
    std::vector<uint8_t> strip(size_t(lines) * bpl, 0);
    std::vector<uint32_t> order(lines);
    for (uint32_t i = 0; i < lines; ++i) order[i] = i;
    PassSource src{{strip.data(), strip.data(), strip.data(), strip.data()}, bpl, order.data()};
    std::vector<uint8_t> table(360 * 880, 0xFF);
    SoftenTable st{table.data(), 880, 108};
    std::vector<uint8_t> pass(360 * bpl);
    uint8_t *pb[6] = {pass.data(), pass.data(), pass.data(), pass.data(), pass.data(), pass.data()};
    PassInfo pi{};
    pi.PassNum = 4;
    pi.colors = 4;
    pi.bytesperline = bpl;
    pi.ydpi = 1440;
    pi.softendots = 63;
    pi.seqstep = 2;
    pi.seq = 3;
    SeparatePass(&src, pb, &st, &pi, Width());
    EXPECT_EQ(pi.blankpass, 1);
    EXPECT_EQ(pi.feeddots, 255u);
    EXPECT_EQ(pi.seq, 4u);
}

// --- formatting --------------------------------------------------------------

struct FormatCase {
    uint32_t bpl;
    uint8_t colors;
    int8_t direction;
};

struct FormatRig {
    std::vector<std::vector<uint8_t>> pass;
    const uint8_t *p[6];
    std::vector<uint8_t> fast, slow;
    SwathCanvas canvas{};
    uint32_t slices;
    KernelWidth kernels;

    FormatRig(uint32_t bpl, uint32_t sliceCount, KernelWidth width)
        : pass(6, std::vector<uint8_t>(360 * size_t(bpl))), slices(sliceCount), kernels(width) {
        for (int i = 0; i < 6; ++i) p[i] = pass[i].data();
        fast.assign(size_t(slices) * kSliceBytes, 0xCD);  // stale bytes everywhere
        slow.assign(fast.size(), 0);
        SwathCanvasInit(&canvas, fast.data(), slices, 0);
    }
    void Check(const FormatInfo &f, const ChannelPlacement &pl, const char *what) {
        uint32_t s1, e1, s2, e2;
        FormatSwath(p, &canvas, &f, &pl, &s1, &e1, kernels);
        ref::FormatProcess360(p, slow.data(), slices, &f, &pl, &s2, &e2);
        ASSERT_EQ(s1, s2) << what;
        ASSERT_EQ(e1, e2) << what;
        for (size_t i = 0; i < fast.size(); ++i)
            ASSERT_EQ(fast[i], slow[i])
                << what << ": slice " << i / kSliceBytes << " byte " << i % kSliceBytes;
    }
};

ChannelPlacement Placement(int8_t dir, uint32_t base, const int32_t spread[8], uint32_t sliceNum) {
    ChannelPlacement pl{};
    for (int ch = 0; ch < 8; ++ch) {
        pl.offset[ch] = dir == L_TO_R ? base + spread[ch] : sliceNum - base - spread[ch];
        pl.base[ch] = dir == L_TO_R ? pl.offset[ch] : sliceNum - pl.offset[ch];
    }
    pl.lastPad = dir == L_TO_R ? 0 : 3;
    return pl;
}

TEST_P(Kernels, FormatMatchesReferenceForEveryOffsetModuloFour) {
    std::mt19937 rng(4);
    for (uint32_t bpl : {1u, 13u, 64u, 257u}) {
        const uint32_t slices = 4 * bpl + 600;
        FormatRig rig(bpl, slices, Width());
        for (Fill fill : {Fill::Random, Fill::Zero, Fill::Ones, Fill::Sparse}) {
            for (auto &v : rig.pass) FillBytes(v, fill, rng);
            for (int8_t dir : {int8_t(L_TO_R), int8_t(R_TO_L)}) {
                for (uint32_t mod = 0; mod < 4; ++mod) {
                    // Channel offsets that cover every residue modulo 4.
                    int32_t spread[8];
                    for (int ch = 0; ch < 8; ++ch)
                        spread[ch] = static_cast<int32_t>(rng() % 97) * 4 + ((ch + mod) & 3);
                    FormatInfo f = BuiltinFormat(bpl, 4, dir);
                    ChannelPlacement pl = Placement(dir, 40 + mod, spread, slices - 8);
                    rig.Check(f, pl, "offsets");
                }
            }
        }
    }
}

TEST_P(Kernels, FormatColourSlotsPlaneMapsAndDirections) {
    std::mt19937 rng(5);
    const uint32_t bpl = 203, slices = 4 * bpl + 500;
    FormatRig rig(bpl, slices, Width());
    for (auto &v : rig.pass) FillBytes(v, Fill::Sparse, rng);
    const int32_t spread[8] = {130, 117, 90, 77, 50, 37, 10, 0};
    for (uint8_t colors = 1; colors <= 6; ++colors) {
        for (int8_t dir : {int8_t(L_TO_R), int8_t(R_TO_L)}) {
            FormatInfo f = BuiltinFormat(bpl, colors, dir);
            // Permuted plane map, then one with two channels on the same bit.
            const uint8_t perm[8] = {3, 6, 0, 7, 1, 5, 2, 4};
            rig.Check(f, Placement(dir, 9, spread, slices - 3), "identity map");
            for (int i = 0; i < 8; ++i) f.planemap[i] = perm[i];
            rig.Check(f, Placement(dir, 9, spread, slices - 3), "permuted map");
            f.planemap[5] = f.planemap[2];
            f.planemap[6] = 9;  // no such bit: the channel prints nothing
            rig.Check(f, Placement(dir, 9, spread, slices - 3), "shared bit");
        }
    }
}

TEST_P(Kernels, FormatClipsAtTheBufferEdgesAndClearsStaleSwaths) {
    std::mt19937 rng(6);
    const uint32_t bpl = 300, slices = 4 * bpl + 200;
    FormatRig rig(bpl, slices, Width());
    const int32_t spread[8] = {230, 117, 90, 77, 50, 37, 10, 0};
    // A wide swath, then narrower ones at other places, then one hanging off
    // both ends of the buffer: each must leave only its own bytes behind.
    for (auto &v : rig.pass) FillBytes(v, Fill::Random, rng);
    rig.Check(BuiltinFormat(bpl, 4, L_TO_R), Placement(L_TO_R, 0, spread, slices), "wide");
    FormatInfo narrow = BuiltinFormat(100, 4, R_TO_L);
    rig.Check(narrow, Placement(R_TO_L, 50, spread, slices - 20), "narrow right to left");
    rig.Check(BuiltinFormat(bpl, 4, R_TO_L), Placement(R_TO_L, 0, spread, 1000), "off the low end");
    rig.Check(BuiltinFormat(bpl, 4, L_TO_R), Placement(L_TO_R, slices - 900, spread, slices),
              "off the high end");
    FormatInfo none = BuiltinFormat(bpl, 0, L_TO_R);
    rig.Check(none, Placement(L_TO_R, 0, spread, slices), "no colour");
}

TEST_P(Kernels, FormatExtentRulesPerDirection) {
    const uint32_t bpl = 40, slices = 1000;
    FormatRig rig(bpl, slices, Width());
    for (auto &v : rig.pass) std::fill(v.begin(), v.end(), 0);
    // Only channel 7 (slot 0, odd: pass line 0) inks, in byte column 0 and 5.
    rig.pass[0][0] = 0x20;  // pixel 1, value 2: high plane only
    rig.pass[0][5] = 0x01;
    const int32_t spread[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint32_t s, e;
    FormatInfo f = BuiltinFormat(bpl, 4, L_TO_R);
    ChannelPlacement pl = Placement(L_TO_R, 100, spread, 900);
    FormatSwath(rig.p, &rig.canvas, &f, &pl, &s, &e, rig.kernels);
    EXPECT_EQ(s, 100u);
    EXPECT_EQ(e, 120u);  // the first pixel of the last inked byte column
    f.direction = R_TO_L;
    pl = Placement(R_TO_L, 100, spread, 900);
    FormatSwath(rig.p, &rig.canvas, &f, &pl, &s, &e, rig.kernels);
    EXPECT_EQ(s, 100u);
    EXPECT_EQ(e, 123u);  // where the last pixel fires
    // Pixel 1 of channel 7 at slice offset - 1, high plane, nozzle 0.
    EXPECT_EQ(rig.fast[(800 - 1) * kSliceBytes + 0], 0x80);
    EXPECT_EQ(rig.fast[(800 - 1) * kSliceBytes + 180], 0x00);
    RoundSwathExtent(&s, &e);
    EXPECT_EQ(s, 96u);
    EXPECT_EQ(e, 128u);
    uint32_t blankStart = 0xFFFFFFFFu, blankEnd = 0;
    RoundSwathExtent(&blankStart, &blankEnd);
    EXPECT_EQ(blankEnd, 0u);
    uint32_t wideStart = 70001, wideEnd = 90000;
    RoundSwathExtent(&wideStart, &wideEnd);
    EXPECT_EQ(wideStart, 70000u);  // no 16-bit truncation
    EXPECT_EQ(wideEnd, 90016u);
}

}  // namespace
}  // namespace sl
