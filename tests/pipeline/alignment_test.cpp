#include <gtest/gtest.h>

#include <cstring>

#include "pipeline/alignment.h"
#include "shared/board_mode.h"
#include "shared/board_settings.h"

namespace sl {
namespace {

struct Board {
    alignas(8) UISetupPara ui{};
    // Same ingroup and outgroup for every resolution class.
    explicit Board(uint8_t in = 10, uint8_t out = 20) {
        for (auto &g : ui.group) {
            g[kGroupIngroup] = in;
            g[kGroupOutgroup] = out;
        }
    }
    void SetWord(size_t off, uint16_t v) {
        auto *b = reinterpret_cast<uint8_t *>(&ui);
        b[off] = static_cast<uint8_t>(v);
        b[off + 1] = static_cast<uint8_t>(v >> 8);
    }
};

TEST(Alignment, ResolutionClassesAndBaseOffsets) {
    const struct {
        uint32_t xdpi;
        uint8_t cls;
        uint32_t base;
    } cases[] = {
        // clang-format off
        {225, 0, 1012},  {270, 0, 1012},  {300, 1, 1350},  {360, 1, 1350},   {450, 2, 2025},
        {540, 2, 2025},  {600, 3, 2700},  {720, 3, 2700},  {900, 4, 4050},   {1080, 4, 4050},
        {1200, 5, 5400}, {1440, 5, 5400}, {1800, 6, 8100}, {2160, 6, 8100},   {2400, 7, 10800},
        {2880, 7, 10800}, {0, 3, 2700},   {361, 3, 2700},  {5760, 3, 2700},
        // clang-format on
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ResolutionClass(c.xdpi), c.cls) << c.xdpi;
        EXPECT_EQ(BaseOffset(c.xdpi), c.base) << c.xdpi;
    }
}

TEST(Alignment, ForwardOffsetsFollowTheChannelPairs) {
    Board b;
    const uint32_t terms[8] = {100, 90, 70, 60, 40, 30, 10, 0};  // 4I+3O ... 0
    for (uint8_t ch = 0; ch < 8; ++ch) {
        EXPECT_EQ(ForwardOffset(ch, 360, &b.ui), 1350 + terms[ch]) << int(ch);
        EXPECT_EQ(ForwardOffset(ch, 600, &b.ui), 2700 + terms[ch]) << int(ch);
    }
    EXPECT_EQ(LargestForwardOffset(360, &b.ui), 1450u);
    EXPECT_EQ(ForwardOffset(8, 360, &b.ui), 0u);
}

TEST(Alignment, ForwardOffsetsSubtractTheLeftCorrection) {
    Board b(0, 0);
    b.ui.x360_lalign[2] = 5;
    b.ui.x720_lalign[2] = -7;
    const struct {
        uint32_t xdpi, expected;
    } cases[] = {
        // clang-format off
        {300, 1345}, {360, 1345},   // x360 arrays
        {600, 2707}, {720, 2707},   // x720 arrays for every other resolution
        {450, 2032}, {1440, 5407},
        // clang-format on
    };
    for (const auto &c : cases) EXPECT_EQ(ForwardOffset(2, c.xdpi, &b.ui), c.expected) << c.xdpi;

    b.ui.x360_lalign[7] = -100;  // channel 7 now starts furthest right
    EXPECT_EQ(LargestForwardOffset(360, &b.ui), 1450u);
}

TEST(Alignment, BackwardOffsetMirrorsInsideTheSwath) {
    const uint32_t slices = 12128;
    Board zero(0, 0);
    const struct {
        uint32_t xdpi;
        uint32_t expected;
    } margins[] = {
        // clang-format off
        {360, slices - 1350 - 7},  // channel 7, zero alignment: slices - 1357
        {300, slices - 1350 - 7},
        {600, slices - 2700 + 6},
        {720, slices - 2700 + 6},
        {450, slices - 2025 - 20},
        {1440, slices - 5400 - 20},
        // clang-format on
    };
    for (const auto &c : margins) {
        EXPECT_EQ(BackwardOffset(7, c.xdpi, &zero.ui, slices, 1), c.expected) << c.xdpi;
    }

    Board b;  // ingroup 10, outgroup 20
    for (auto &g : b.ui.group) {
        g[kGroupVsd4] = 41;
        g[kGroupVsd3] = 43;
        g[kGroupHigh] = 44;
        g[kGroupLow] = 45;
    }
    b.ui.x360_ralign[0] = -3;
    b.ui.x720_ralign[0] = 9;
    b.ui.x360_lalign[0] = 100;  // left corrections play no part
    const struct {
        uint8_t dotClass;
        int32_t h;
    } classes[] = {{1, 44}, {2, 45}, {3, 43}, {4, 41}, {0, 44}, {5, 44}};
    for (const auto &c : classes) {
        EXPECT_EQ(BackwardOffset(0, 360, &b.ui, slices, c.dotClass), slices - 1450 - 7 + c.h - 3)
            << int(c.dotClass);
        EXPECT_EQ(BackwardOffset(0, 600, &b.ui, slices, c.dotClass), slices - 2800 + 6 + c.h + 9)
            << int(c.dotClass);
    }
}

TEST(Alignment, BackwardOffsetNeverWrapsBelowZero) {
    Board b;
    b.ui.x360_ralign[0] = -128;
    EXPECT_EQ(BackwardOffset(0, 360, &b.ui, 1000, 1), 0u);
    EXPECT_EQ(BackwardOffset(0, 360, &b.ui, 0, 1), 0u);
}

TEST(Alignment, VsdCodeByDotSizeClass) {
    const BoardMode kNoMode{};
    const struct {
        uint8_t dotClass;
        uint16_t code;
    } cases[] = {{1, 0x8641}, {2, 0x8641}, {3, 0x8421}, {4, 0x8241}, {0, 0x8641}, {9, 0x8641}};
    for (const auto &c : cases) EXPECT_EQ(VsdCode(&kNoMode, c.dotClass), c.code) << int(c.dotClass);
}

PassInfo Pass(uint8_t passes, uint32_t ydpi, uint32_t feeddots) {
    PassInfo pi{};
    pi.PassNum = passes;
    pi.ydpi = ydpi;
    pi.feeddots = feeddots;
    return pi;
}

TEST(PaperStep, ScalesTheFeedByThePassCalibration) {
    Board b;
    // Distinct calibration per slot, so a wrong slot changes the step.
    const struct {
        size_t off;
        uint16_t para;
    } slots[] = {{36, 17930}, {38, 35860}, {40, 7172},  {42, 14344}, {44, 35860},
                 {46, 1000},  {88, 1000},  {100, 1000}, {102, 1000}};
    for (const auto &s : slots) b.SetWord(s.off, s.para);

    const struct {
        PassInfo pi;
        uint32_t expected;
    } cases[] = {
        // clang-format off
        {Pass(4, 1440, 252), 504},          // 252 x 2880 / 1440 = 504; para 35860
        {Pass(1, 360, 360), 5760},          // one pass: the 6-pass value (17930)
        {Pass(12, 1440, 30), 120},          // 12 passes: also the 6-pass value
        {Pass(16, 1440, 45), 90},           // 16 passes: the 8-pass value
        {Pass(3, 1080, 1), 5},              // 2880 / 1080 = 2 first, then x 35860 / 14344
        {Pass(2, 720, 0), 0},
        {Pass(4, 0, 252), 0},               // no resolution, no step (no division by zero)
        {Pass(4, 360, 0xFFFFFFFFu), 0xFFFFFFFFu},  // saturates instead of wrapping
        // clang-format on
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PaperStep(&c.pi, &b.ui), c.expected)
            << int(c.pi.PassNum) << " passes, " << c.pi.feeddots << " dots at " << c.pi.ydpi;
    }

    Board zero;
    const PassInfo pi = Pass(4, 2880, 1);
    EXPECT_EQ(PaperStep(&pi, &zero.ui), 35860u);  // a stored 0 counts as 1
}

TEST(DynamicUpdates, XHori2GoesToTheSpeedsByte) {
    const struct {
        uint8_t speed;
        uint8_t index;
    } cases[] = {{7, kGroupHigh}, {5, kGroupLow}, {0, kGroupLow}};
    for (const auto &c : cases) {
        Board b;
        b.ui.PrintSpeed = c.speed;
        ApplyBidirectionalRequest(0x1FE, &b.ui, 1440);  // class 5; the low byte counts
        EXPECT_EQ(b.ui.group[5][c.index], 0xFE) << int(c.speed);
        EXPECT_EQ(b.ui.group[5][c.index == kGroupHigh ? kGroupLow : kGroupHigh], 0);
        EXPECT_EQ(b.ui.group[4][c.index], 0);
    }

    // The next backward offset uses it.
    Board b;
    b.ui.PrintSpeed = 7;
    const uint32_t before = BackwardOffset(7, 360, &b.ui, 12128, 1);
    ApplyBidirectionalRequest(12, &b.ui, 360);
    EXPECT_EQ(BackwardOffset(7, 360, &b.ui, 12128, 1), before + 12);
}

TEST(DynamicUpdates, StepCalibrationGoesToThePassSlot) {
    Board b;
    ApplyStepRequest(17930, &b.ui, 4);
    const PassInfo four = Pass(4, 1440, 252);
    EXPECT_EQ(PaperStep(&four, &b.ui), 1008u);

    // 12 passes are stored in their own slot but read from the 6-pass one.
    ApplyStepRequest(17930, &b.ui, 12);
    EXPECT_EQ(Vert(&b.ui, 6), 17930);  // offset 100
    EXPECT_EQ(Vert(&b.ui, 7), 0);      // the 16-pass slot (offset 102) untouched
    const PassInfo twelve = Pass(12, 1440, 30);
    EXPECT_EQ(PaperStep(&twelve, &b.ui), 60u * 35860);  // para still the stored 0, read as 1
}

}  // namespace
}  // namespace sl
