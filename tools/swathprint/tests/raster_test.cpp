// Separation and screening: what dots a picture becomes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "raster.h"
#include "resample.h"
#include "test_support.h"

namespace swathprint::test {
namespace {

double MeanLevel(const std::vector<uint8_t> &levels, int top) {
    double sum = 0;
    for (int v : levels) sum += v;
    return sum / (levels.size() * double(top));
}

// A flat tone of K (CMYK passes through the colour conversion) prints at
// the density it asks for, at 2 bits and at 1 bit per dot.
TEST(Screening, FlatGreyHasTheExpectedMeanDotDensity) {
    for (int bits : {2, 1}) {
        for (double grey : {1.0, 0.9, 0.75, 0.5, 0.3, 0.1, 0.0}) {
            SCOPED_TRACE("bits " + std::to_string(bits) + ", grey " + std::to_string(grey));
            const auto ink = static_cast<uint16_t>(std::lround((1 - grey) * 65535));
            const Image image = FlatImage(ColorModel::kCmyk, 160, 120, {0, 0, 0, ink});
            DotCounts dots;
            const auto levels = ScreenImage(image, 160, 160, 120, bits, &dots);
            EXPECT_NEAR(MeanLevel(levels[kK], bits == 2 ? 3 : 1), 1.0 - grey, 0.01);
            for (Plane p : {kY, kM, kC}) EXPECT_EQ(MeanLevel(levels[p], 1), 0.0) << "plane " << p;
        }
    }
}

// A tone that is exactly a dot level prints that level everywhere: the
// chart's patches rely on it.
TEST(Screening, ToneOfOneDotLevelPrintsThatLevelOnly) {
    for (int level = 0; level <= 3; ++level) {
        const auto ink = static_cast<uint16_t>(85 * level * 257);
        const Image image = FlatImage(ColorModel::kCmyk, 64, 16, {ink, 0, 0, 0});  // cyan
        DotCounts dots;
        const auto levels = ScreenImage(image, 64, 64, 16, 2, &dots);
        for (int v : levels[kC]) ASSERT_EQ(v, level);
        EXPECT_EQ(dots[kC][level], 64u * 16);
        for (Plane p : {kY, kM, kK}) EXPECT_EQ(dots[p][0], 64u * 16) << "plane " << p;
    }
}

// Resampling averages the area under each dot: halving a two-column
// checkerboard gives an even grey; doubling repeats each pixel; a third of
// the rows under each output row averages them.
TEST(Resampling, AveragesTheAreaUnderEachDot) {
    Image board = FlatImage(ColorModel::kGrey, 4, 2, {0});
    for (uint32_t i = 0; i < 8; ++i) board.samples[i] = (i % 2) ? 65535 : 0;
    auto page = ImagePage(&board);
    frontend::Resampler half(page.get(), 2, 1);
    std::vector<uint16_t> row(8);
    std::string error;
    ASSERT_TRUE(half.NextRow(row.data(), &error)) << error;
    EXPECT_NEAR(row[0], 32768, 1);
    EXPECT_NEAR(row[1], 32768, 1);
    page = ImagePage(&board);
    frontend::Resampler twice(page.get(), 8, 4);
    for (int y = 0; y < 4; ++y) ASSERT_TRUE(twice.NextRow(row.data(), &error)) << error;
    const uint16_t expected[] = {0, 0, 65535, 65535, 0, 0, 65535, 65535};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(row[x], expected[x]) << x;

    Image stripes = FlatImage(ColorModel::kGrey, 1, 6, {0});
    for (uint32_t y = 0; y < 6; ++y) stripes.samples[y] = static_cast<uint16_t>(y * 10000);
    page = ImagePage(&stripes);
    frontend::Resampler third(page.get(), 1, 2);
    for (uint16_t want : {10000, 40000}) {
        ASSERT_TRUE(third.NextRow(row.data(), &error)) << error;
        EXPECT_NEAR(row[0], want, 1);
    }
}

// Dot packing: four dots a byte at 2 bits, eight at 1 bit, the leftmost dot
// in the most significant bits; planes in the order Y, M, C, K.
TEST(Screening, PacksDotsLeftmostFirstInPlaneOrder) {
    for (bool parallel : {false, true}) {
        SCOPED_TRACE(parallel ? "planes in parallel" : "planes one by one");
        std::array<std::vector<float>, kPlanes> coverage;
        for (auto &plane : coverage) plane.assign(5, 0.0f);
        coverage[kK] = {1.0f, 2 / 3.0f, 1 / 3.0f, 0.0f, 1.0f};
        coverage[kY][1] = 1.0f;
        const std::array<const float *, kPlanes> rows = {coverage[0].data(), coverage[1].data(),
                                                         coverage[2].data(), coverage[3].data()};
        frontend::Screener two(5, 2, parallel);
        std::vector<uint8_t> line(2 * kPlanes, 0xAA);
        two.ScreenRow(rows, line.data());
        EXPECT_EQ(line, (std::vector<uint8_t>{0x30, 0x00, 0, 0, 0, 0, 0xE4, 0xC0}));

        for (auto &plane : coverage) plane.assign(10, 0.0f);
        coverage[kM] = {1, 0, 1, 0, 0, 0, 0, 0, 1, 1};
        const std::array<const float *, kPlanes> wide = {coverage[0].data(), coverage[1].data(),
                                                         coverage[2].data(), coverage[3].data()};
        frontend::Screener one(10, 1, parallel);
        std::vector<uint8_t> bits(2 * kPlanes, 0xAA);
        one.ScreenRow(wide, bits.data());
        EXPECT_EQ(bits, (std::vector<uint8_t>{0, 0, 0xA0, 0xC0, 0, 0, 0, 0}));
        EXPECT_EQ(one.Dots()[kM][3], 4u) << "a 1-bit dot prints at the driver's default size";
    }
}

}  // namespace
}  // namespace swathprint::test
