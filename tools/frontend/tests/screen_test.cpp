// Screening: the tone each coverage prints, the levels a plane prints
// exactly, how dots spread at low coverage and between inks, and the dot
// counts the summary's ink comes from.
#include "screen.h"

#include <gtest/gtest.h>

#include <vector>

namespace frontend {
namespace {

constexpr uint32_t kArea = 64;  // rows and dots screened: one threshold tile or more

// A block of `rows` screened rows of `width` dots, all planes at the
// coverages given; levels[p][y][x] as decoded from the packed lines.
struct Screened {
    std::vector<std::vector<std::vector<int>>> levels;
    DotCounts dots{};
};

Screened Screen(uint32_t width, uint32_t rows, int bits, const std::array<float, kPlanes> &coverage,
                bool parallel = false) {
    std::array<std::vector<float>, kPlanes> planes;
    std::array<const float *, kPlanes> row;
    for (int p = 0; p < kPlanes; ++p) {
        planes[p].assign(width, coverage[p]);
        row[p] = planes[p].data();
    }
    Screener screener(width, bits, parallel);
    const uint32_t bytes = PlaneBytes(width, bits);
    std::vector<uint8_t> line(size_t(bytes) * kPlanes);
    Screened out;
    out.levels.assign(kPlanes, std::vector<std::vector<int>>(rows, std::vector<int>(width)));
    for (uint32_t y = 0; y < rows; ++y) {
        screener.ScreenRow(row, line.data());
        for (int p = 0; p < kPlanes; ++p)
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t byte = line[size_t(p) * bytes + x * bits / 8];
                const int shift = 8 - bits - int(x * bits % 8);
                out.levels[p][y][x] = (byte >> shift) & ((1 << bits) - 1);
            }
    }
    out.dots = screener.Dots();
    return out;
}

double MeanLevel(const std::vector<std::vector<int>> &levels) {
    double sum = 0, n = 0;
    for (const auto &row : levels)
        for (int l : row) sum += l, n += 1;
    return sum / n;
}

// A flat tint prints its own tone: the mean dot level over a tile is the
// coverage times the top level, to within one dot in the tile, for every
// plane, at both depths, on widths that are and are not whole tiles.
TEST(Screening, FlatTintsPrintTheirTone) {
    for (int bits : {1, 2}) {
        const int top = bits == 2 ? 3 : 1;
        for (uint32_t width : {kArea, 3 * kArea + 17})
            for (float c : {0.0f, 0.004f, 0.05f, 0.25f, 0.4f, 0.5f, 0.61f, 0.9f, 0.999f, 1.0f}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, " << width << " dots, coverage " << c);
                const Screened s = Screen(width, kArea, bits, {c, c, c, c});
                for (int p = 0; p < kPlanes; ++p) {
                    std::vector<std::vector<int>> tile;
                    for (const auto &row : s.levels[p]) tile.emplace_back(row.begin(), row.begin() + kArea);
                    EXPECT_NEAR(MeanLevel(tile), c * top, 1.0 / (kArea * kArea) + 1e-6) << "plane " << p;
                }
            }
    }
}

// The levels a plane can print exactly print as themselves at every dot
// (no dither of a flat 1/3 into 0s and 1s, no stray dot in white, no hole
// in solid), and coverage beyond 0..1 prints as 0 or full.
TEST(Screening, ExactLevelsPrintEverywhere) {
    const struct {
        int bits;
        float coverage;
        int level;
    } cases[] = {{2, 0.0f, 0}, {2, 1 / 3.0f, 1}, {2, 2 / 3.0f, 2}, {2, 1.0f, 3}, {1, 0.0f, 0},
                 {1, 1.0f, 1}, {2, -0.5f, 0},    {2, 1.5f, 3},     {1, 7.0f, 1}, {1, -1.0f, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, coverage " << c.coverage);
        const Screened s = Screen(kArea + 5, kArea, c.bits, {c.coverage, c.coverage, c.coverage, c.coverage});
        for (int p = 0; p < kPlanes; ++p)
            for (const auto &row : s.levels[p])
                for (int level : row) ASSERT_EQ(level, c.level) << "plane " << p;
    }
}

// Light tints are even: at 4% coverage (a dot in 25 places) no two dots of
// a plane touch, and no 10 x 10 square is left white (a random screen
// leaves dozens of such holes in a tile, and clumps).
TEST(Screening, SparseDotsSpreadEvenly) {
    constexpr uint32_t kSide = 2 * kArea, kHole = 10;
    const Screened s = Screen(kSide, kSide, 1, {0.04f, 0.04f, 0.04f, 0.04f});
    for (int p = 0; p < kPlanes; ++p) {
        const auto &l = s.levels[p];
        int touching = 0, holes = 0;
        for (uint32_t y = 0; y + 1 < kSide; ++y)
            for (uint32_t x = 1; x + 1 < kSide; ++x)
                touching += l[y][x] && (l[y][x + 1] || l[y + 1][x - 1] || l[y + 1][x] || l[y + 1][x + 1]);
        for (uint32_t y = 0; y + kHole <= kSide; ++y)
            for (uint32_t x = 0; x + kHole <= kSide; ++x) {
                int dots = 0;
                for (uint32_t dy = 0; dy < kHole; ++dy)
                    for (uint32_t dx = 0; dx < kHole; ++dx) dots += l[y + dy][x + dx];
                holes += dots == 0;
            }
        EXPECT_EQ(touching, 0) << "plane " << p;
        EXPECT_EQ(holes, 0) << "plane " << p;
    }
}

// Two inks at the same coverage put their dots in different places: at a
// quarter each, about a sixteenth of the places carry both (as if
// independent), far from the quarter that one shared pattern would give.
TEST(Screening, InksDoNotShareTheirDots) {
    const Screened s = Screen(kArea, kArea, 1, {0.25f, 0.25f, 0.25f, 0.25f});
    for (int a = 0; a < kPlanes; ++a)
        for (int b = a + 1; b < kPlanes; ++b) {
            int both = 0;
            for (uint32_t y = 0; y < kArea; ++y)
                for (uint32_t x = 0; x < kArea; ++x) both += s.levels[a][y][x] && s.levels[b][y][x];
            EXPECT_LT(both, int(kArea * kArea / 8)) << "planes " << a << " and " << b;
        }
}

// The dot counts (what the summary's ink is reckoned from) are the dots in
// the lines, and the helper thread screens exactly what one thread would.
TEST(Screening, CountsMatchTheLinesAndThreadsAgree) {
    for (int bits : {1, 2}) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        const std::array<float, kPlanes> coverage = {0.1f, 0.45f, 0.8f, 0.3f};
        const Screened one = Screen(1000, 40, bits, coverage), two = Screen(1000, 40, bits, coverage, true);
        EXPECT_EQ(one.levels, two.levels);
        EXPECT_EQ(one.dots, two.dots);
        for (int p = 0; p < kPlanes; ++p) {
            DotCounts counted{};
            for (const auto &row : one.levels[p])
                for (int level : row) ++counted[p][bits == 1 && level ? 3 : level];
            EXPECT_EQ(one.dots[p], counted[p]) << "plane " << p;
        }
    }
}

}  // namespace
}  // namespace frontend
