// Feathering: family selection, soften dots, the table layout and the seam
// masks themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "api/memory_plan.h"
#include "pipeline/feathering.h"

namespace sl {
namespace {

// The seam masks the cases work on, as a job holds them.
Feathering gFeather;

struct ShapeCase {
    int8_t byte;
    uint32_t passes;
    uint32_t width, lines;
};

TEST(Feathering, FamilyTable) {
    const ShapeCase cases[] = {
        // clang-format off
        // Family A (64 and up): one band per mode.
        {64, 4, 700, 173}, {65, 4, 700, 144}, {66, 4, 800, 20}, {67, 4, 880, 0}, {127, 2, 880, 0},
        // Family B (below -64): 168 rows for 8 and 12 passes in mode 0.
        {-128, 2, 128, 180}, {-128, 8, 128, 168}, {-128, 12, 128, 168}, {-127, 8, 128, 96},
        {-126, 3, 128, 24}, {-125, 4, 128, 0}, {-65, 2, 128, 0},
        // Family C (-64 to 63): 104 rows at 8 passes in mode 0, 90 at 6 in mode 1.
        {0, 4, 880, 108}, {0, 8, 880, 104}, {1, 4, 880, 88}, {1, 6, 880, 90}, {2, 8, 880, 72},
        {3, 4, 880, 0}, {-64, 2, 880, 108}, {63, 2, 880, 0},
        // clang-format on
    };
    for (const ShapeCase &c : cases) {
        SoftenShape s = SoftenShapeFor(SoftenFamilyOf(c.byte), c.passes, static_cast<uint8_t>(c.byte) & 3);
        EXPECT_EQ(s.width, c.width) << int(c.byte) << " / " << c.passes;
        EXPECT_EQ(s.lines, c.lines) << int(c.byte) << " / " << c.passes;
        EXPECT_EQ(SelectSoftenFamily(&gFeather, c.passes, static_cast<uint8_t>(c.byte) & 3, c.byte), c.lines);
        EXPECT_EQ(gFeather.width, c.width);
    }
}

TEST(Feathering, SoftenDots) {
    EXPECT_EQ(SoftenDots(&gFeather, 1440, false, 3, 3), 90);     // no feathering: 360 / N
    EXPECT_EQ(SoftenDots(&gFeather, 720, false, 3, 0x43), 180);  // family A, mode 3
    EXPECT_EQ(SoftenDots(&gFeather, 720, false, 2, -126), 168);  // family B, mode 2: (360 - 24) / 2
    EXPECT_EQ(gFeather.width, 128u);
    EXPECT_EQ(SoftenDots(&gFeather, 1440, false, 0, 0), 63);  // family C: (360 - 108) / 4
    EXPECT_EQ(SoftenDots(&gFeather, 720, true, 0, 0), 63);    // 720 across doubles the passes
    EXPECT_EQ(SoftenDots(&gFeather, 1440, true, 0, 0), 32);   // 8 passes: (360 - 104) / 8
}

PassInfo Geometry(uint8_t passes, uint16_t dots, uint8_t mode) {
    PassInfo pi{};
    pi.PassNum = passes;
    pi.softendots = dots;
    pi.softenmode = mode;
    return pi;
}

bool RowIs(const std::vector<uint8_t> &t, uint32_t w, uint32_t row, uint8_t v) {
    for (uint32_t k = 0; k < w; ++k)
        if (t[row * w + k] != v) return false;
    return true;
}

TEST(Feathering, TableLayoutFamilyAModeZeroTwoPasses) {
    std::vector<uint8_t> table(kSoftenTableBytes, 0x5A);
    const PassInfo pi = Geometry(2, 93, 0);
    BuildSoftenTable360(&gFeather, table.data(), &pi, 64);
    const uint32_t w = gFeather.width;
    ASSERT_EQ(w, 700u);
    EXPECT_EQ(gFeather.softLines, 172u);
    EXPECT_TRUE(RowIs(table, w, 0, 0x00));
    EXPECT_TRUE(RowIs(table, w, 1, 0x00));
    EXPECT_EQ(std::memcmp(&table[2 * w], SoftenTopTable(&gFeather), 172 * w), 0);
    for (uint32_t r = 174; r < 188; ++r) EXPECT_TRUE(RowIs(table, w, r, 0xFF)) << r;
    EXPECT_EQ(std::memcmp(&table[188 * w], SoftenBottomTable(&gFeather), 172 * w), 0);
}

TEST(Feathering, TableLayoutFamilyBModeZeroHasNoFullRows) {
    std::vector<uint8_t> table(kSoftenTableBytes);
    const PassInfo pi = Geometry(2, 90, 0);
    BuildSoftenTable360(&gFeather, table.data(), &pi, -128);
    EXPECT_EQ(gFeather.softLines, 180u);
    EXPECT_EQ(std::memcmp(&table[0], SoftenTopTable(&gFeather), 180 * 128), 0);
    EXPECT_EQ(std::memcmp(&table[180 * 128], SoftenBottomTable(&gFeather), 180 * 128), 0);
}

TEST(Feathering, ThreePassesUseTheFourPassTables) {
    std::vector<uint8_t> three(kSoftenTableBytes), four(kSoftenTableBytes);
    PassInfo pi = Geometry(3, 84, 0);
    BuildSoftenTable360(&gFeather, three.data(), &pi, 0);
    EXPECT_EQ(gFeather.softLines, 108u);
    pi = Geometry(4, 63, 0);
    BuildSoftenTable360(&gFeather, four.data(), &pi, 0);
    // The same band rows at the top; the paper advance differs.
    EXPECT_EQ(std::memcmp(three.data(), four.data(), 108 * 880), 0);
}

TEST(Feathering, NoFeatheringIsAllOnes) {
    for (int8_t byte : {3, 0x43, -125}) {
        std::vector<uint8_t> table(kSoftenTableBytes, 0);
        const PassInfo pi = Geometry(4, 90, 3);
        BuildSoftenTable360(&gFeather, table.data(), &pi, byte);
        EXPECT_EQ(gFeather.softLines, 0u);
        for (uint32_t i = 0; i < 360 * gFeather.width; ++i) ASSERT_EQ(table[i], 0xFF) << int(byte);
    }
}

// Family B, mode 0, seven passes: a 180-row band over a 175-row advance
// would overlap itself; the band is cut to the advance (rounded to even).
TEST(Feathering, BandLongerThanTheAdvanceIsCut) {
    std::vector<uint8_t> table(kSoftenTableBytes);
    const PassInfo pi = Geometry(7, 25, 0);
    BuildSoftenTable360(&gFeather, table.data(), &pi, -128);
    EXPECT_EQ(gFeather.softLines, 174u);
    const uint32_t idle = 360 - 174 - 175;
    for (uint32_t r = 0; r < idle; ++r) EXPECT_TRUE(RowIs(table, 128, r, 0x00));
    EXPECT_EQ(std::memcmp(&table[idle * 128], SoftenTopTable(&gFeather), 174 * 128), 0);
    EXPECT_TRUE(RowIs(table, 128, idle + 174, 0xFF));
    EXPECT_EQ(std::memcmp(&table[186 * 128], SoftenBottomTable(&gFeather), 174 * 128), 0);
}

// --- the masks ----------------------------------------------------------------

std::vector<int> Row(const uint8_t *top, uint32_t width, uint32_t r) {
    std::vector<int> px(width * 4);
    for (uint32_t x = 0; x < width * 4; ++x) px[x] = (top[r * width + x / 4] >> (6 - 2 * (x % 4))) & 3;
    return px;
}

struct MaskCase {
    int8_t byte;
    uint32_t passes;
};

class SeamMasks : public ::testing::TestWithParam<MaskCase> {};

TEST_P(SeamMasks, WholePixelsComplementaryRisingEvenAndAperiodic) {
    const MaskCase c = GetParam();
    const uint8_t mode = static_cast<uint8_t>(c.byte) & 3;
    const uint32_t rows = SelectSoftenFamily(&gFeather, c.passes, mode, c.byte);
    const uint32_t w = gFeather.width, px = 4 * w;
    ASSERT_GT(rows, 0u);
    const uint8_t *top = SoftenTopTable(&gFeather), *bottom = SoftenBottomTable(&gFeather);
    std::vector<uint8_t> copy(top, top + rows * w);

    double previous = -1;
    double windowRatio = 0, worstRepeat = 0;
    int windowRows = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        const std::vector<int> p = Row(top, w, r);
        uint32_t kept = 0;
        for (uint32_t x = 0; x < px; ++x) {
            ASSERT_TRUE(p[x] == 0 || p[x] == 3) << "row " << r << " pixel " << x;
            kept += p[x] == 3;
        }
        for (uint32_t k = 0; k < w; ++k) ASSERT_EQ(bottom[r * w + k], uint8_t(~top[r * w + k]));
        // The kept share is (r + 1/2) / rows, to the pixel.
        const double share = double(kept) / px;
        EXPECT_NEAR(share, (r + 0.5) / rows, 1.0 / px) << "row " << r;
        EXPECT_GT(share, previous);
        previous = share;
        if (share < 0.15 || share > 0.85) continue;
        // Evenly spread: over the band, 32-pixel windows vary far less than
        // for random pixels.
        double var = 0;
        for (uint32_t x = 0; x + 32 <= px; x += 32) {
            int n = 0;
            for (int k = 0; k < 32; ++k) n += p[x + k] == 3;
            var += (n - 32 * share) * (n - 32 * share);
        }
        windowRatio += var / (px / 32) / (32 * share * (1 - share));
        ++windowRows;
        // No period: shifting the row by 3 to 64 pixels matches it no better
        // than chance (a stipple or stripes would match it fully).
        for (uint32_t s = 3; s <= 64; ++s) {
            int same = 0;
            for (uint32_t x = 0; x < px; ++x) same += p[x] == p[(x + s) % px];
            worstRepeat =
                std::max(worstRepeat, double(same) / px - (share * share + (1 - share) * (1 - share)));
        }
    }
    EXPECT_LT(previous, 1.0);
    if (windowRows) {
        EXPECT_LT(windowRatio / windowRows, 0.7);  // random pixels give 1
        EXPECT_LT(worstRepeat, 0.2);
    }
    // Deterministic: the same selection after another one builds the same table.
    SelectSoftenFamily(&gFeather, c.passes == 6 ? 4 : 6, 1, 1);
    SelectSoftenFamily(&gFeather, c.passes, mode, c.byte);
    EXPECT_EQ(std::memcmp(copy.data(), SoftenTopTable(&gFeather), copy.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryTable, SeamMasks,
                         ::testing::Values(MaskCase{64, 4}, MaskCase{65, 4}, MaskCase{66, 4},
                                           MaskCase{-128, 2}, MaskCase{-128, 8}, MaskCase{-127, 4},
                                           MaskCase{-126, 4}, MaskCase{0, 4}, MaskCase{0, 8}, MaskCase{1, 4},
                                           MaskCase{1, 6}, MaskCase{2, 4}));

TEST(SeamMasks, TablesDifferBetweenFamilies) {
    SelectSoftenFamily(&gFeather, 4, 0, 0);
    std::vector<uint8_t> c(SoftenTopTable(&gFeather), SoftenTopTable(&gFeather) + 20 * 128);
    SelectSoftenFamily(&gFeather, 4, 2, -126);
    EXPECT_NE(std::memcmp(c.data(), SoftenTopTable(&gFeather), 20 * 128), 0);
}

}  // namespace
}  // namespace sl
