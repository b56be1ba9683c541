#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>

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
        // 2880 / 1080 x 35860 / 14344 = 6.67 steps, the nearest 7 (it was 5
        // while the first division dropped two thirds of a 2880th).
        {Pass(3, 1080, 1), 7},
        {Pass(2, 720, 0), 0},
        {Pass(4, 0, 252), 0},               // no resolution, no step (no division by zero)
        {Pass(4, 360, 0xFFFFFFFFu), 0xFFFFFFFFu},  // saturates instead of wrapping
        // clang-format on
    };
    for (const auto &c : cases) {
        PassInfo pi = c.pi;
        EXPECT_EQ(PaperStep(&pi, &b.ui), c.expected)
            << int(c.pi.PassNum) << " passes, " << c.pi.feeddots << " dots at " << c.pi.ydpi;
    }

    Board zero;
    PassInfo pi = Pass(4, 2880, 1);
    EXPECT_EQ(PaperStep(&pi, &zero.ui), 35860u);  // a stored 0 counts as 1
}

// Steps of a job at one calibration; `expected` is where the paper stands
// (in 1/(2880 x 35860 x ydpi) inch, as PassInfo::feedOwed counts).
struct Feed {
    Board board;
    PassInfo pi;
    int64_t paper = 0, asked = 0;
    Feed(uint8_t passes, uint32_t ydpi, uint16_t para) : pi(Pass(passes, ydpi, 0)) { SetPara(para); }
    void SetPara(uint16_t para) { board.SetWord(StepCalibrationReadOffset(pi.PassNum), para); }
    uint32_t Swath(uint32_t lines) {
        pi.feeddots = lines;
        const uint16_t para = StepCalibration(&board.ui, pi.PassNum);
        const uint32_t step = PaperStep(&pi, &board.ui);
        paper += int64_t{step} * para * pi.ydpi;
        asked += int64_t{lines} * 2880 * 35860;
        return step;
    }
    // Half a step at the calibration in force, in the same unit.
    int64_t HalfStep() const { return int64_t{StepCalibration(&board.ui, pi.PassNum)} * pi.ydpi / 2; }
};

// Where a line is a whole number of steps, every step is the feed exactly:
// the same steps as a feed that divides as it goes, swath after swath.
TEST(PaperStep, WholeStepsGoOutUnchanged) {
    const struct {
        uint8_t passes;
        uint32_t ydpi, lines;
        uint16_t para;
        uint32_t step;
    } cases[] = {
        {1, 360, 360, 35860, 2880}, {2, 720, 180, 35860, 720},  {4, 1440, 252, 35860, 504},
        {4, 1440, 63, 35860, 126},  {2, 720, 180, 17930, 1440}, {4, 1440, 252, 7172, 2520},
        {8, 2880, 315, 35860, 315},
    };
    for (const auto &c : cases) {
        Feed feed(c.passes, c.ydpi, c.para);
        for (int swath = 0; swath < 500; ++swath) {
            ASSERT_EQ(feed.Swath(c.lines), c.step) << c.ydpi << " dpi, para " << c.para << ", swath " << swath;
        }
        EXPECT_EQ(feed.pi.feedOwed, 0);
    }
}

// At 1080 dpi a pass of 251 lines is 669 1/3 of a 2880th: the steps carry
// the third, 669, 670, 669, 669, 670, 669, ... and three swaths feed 2008
// exactly (the dropped third cost an eighth of a line per swath, 12 lines
// over 100 swaths).
TEST(PaperStep, CarriesTheRemainder) {
    Feed feed(3, 1080, 35860);
    uint64_t sent = 0;
    for (int swath = 1; swath <= 300; ++swath) {
        const uint32_t step = feed.Swath(251);
        EXPECT_TRUE(step == 669 || step == 670) << "swath " << swath << ": " << step;
        sent += step;
        EXPECT_EQ(sent, (uint64_t{251} * 2880 * swath * 2 + 1080) / (2 * 1080)) << "swath " << swath;
    }
    EXPECT_EQ(sent, 200800u);
}

// Any YDPI, any calibration, any run of feeds: after every swath the paper
// stands within half a step of the lines asked for, and at calibration 35860
// no step is more than one 2880th from the feed divided as it goes.
TEST(PaperStep, PaperStaysWithinHalfAStep) {
    std::mt19937 rng(77);
    const uint32_t ydpis[] = {360, 720, 1080, 1440, 1800, 2160, 2880};
    for (int job = 0; job < 200; ++job) {
        const uint32_t ydpi = ydpis[rng() % std::size(ydpis)];
        const auto para = static_cast<uint16_t>(job % 4 == 0 ? 35860 : 1 + rng() % 65535);
        Feed feed(static_cast<uint8_t>(1 + rng() % 8), ydpi, para);
        for (int swath = 0; swath < 100; ++swath) {
            const uint32_t lines = rng() % 400;
            const uint32_t step = feed.Swath(lines);
            ASSERT_LE(std::llabs(feed.paper - feed.asked), feed.HalfStep())
                << ydpi << " dpi, para " << para << ", swath " << swath;
            if (StepCalibration(&feed.board.ui, feed.pi.PassNum) == 35860) {
                const int64_t divided = int64_t{lines} * 2880 / ydpi;
                ASSERT_LE(std::llabs(int64_t{step} - divided), 1) << ydpi << " dpi, swath " << swath;
            }
        }
    }
}

// A calibration value pushed in the middle of a job takes over from where
// the paper stands: the next steps are in the new value's size and the
// paper stays within half of one of them.
TEST(PaperStep, NewCalibrationContinuesFromThePaper) {
    const uint16_t paras[][2] = {{35860, 4810}, {4810, 35860}, {12345, 60000}, {60000, 1}};
    for (const auto &p : paras) {
        Feed feed(3, 1080, p[0]);
        for (int swath = 0; swath < 40; ++swath) feed.Swath(251);
        ApplyStepRequest(p[1], &feed.board.ui, 3);
        for (int swath = 0; swath < 40; ++swath) {
            feed.Swath(251);
            ASSERT_LE(std::llabs(feed.paper - feed.asked), feed.HalfStep())
                << p[0] << " then " << p[1] << ", swath " << swath;
        }
    }
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
    PassInfo four = Pass(4, 1440, 252);
    EXPECT_EQ(PaperStep(&four, &b.ui), 1008u);

    // 12 passes are stored in their own slot but read from the 6-pass one.
    ApplyStepRequest(17930, &b.ui, 12);
    EXPECT_EQ(Vert(&b.ui, 6), 17930);  // offset 100
    EXPECT_EQ(Vert(&b.ui, 7), 0);      // the 16-pass slot (offset 102) untouched
    PassInfo twelve = Pass(12, 1440, 30);
    EXPECT_EQ(PaperStep(&twelve, &b.ui), 60u * 35860);  // para still the stored 0, read as 1
}

}  // namespace
}  // namespace sl
