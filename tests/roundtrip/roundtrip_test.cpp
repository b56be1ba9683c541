// Jobs printed through the entry points, real TCP and the board emulator:
// the sheet the emulated head prints must be the job's raster, every pixel
// once, at its place, with its level, and nothing else.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "roundtrip/roundtrip_fixture.h"

namespace sl::roundtrip {
namespace {

struct Row {
    const char* name;
    RasterSpec spec;
    HeadChoice head;
};

constexpr uint8_t kFamilyA = 0x40, kFamilyB = 0x80, kFamilyC = 0x00;  // soften byte, band in the low bits
constexpr uint8_t kStartStripe = 2, kEndStripe = 1, kBothStripes = 3;

RasterSpec Spec(uint32_t xdpi, uint32_t ydpi, uint16_t colors = 4, uint32_t width = 64, uint32_t height = 200,
                bool one_bit = false) {
    RasterSpec s;
    s.xdpi = xdpi;
    s.ydpi = ydpi;
    s.colors = colors;
    s.width = width;
    s.height = height;
    s.one_bit = one_bit;
    return s;
}

// Every mode of the pass plan, each feathering family and band, one and two
// directions, side stripes, 1-bit jobs and one to six colours.
const Row kRows[] = {
    {"Single360", Spec(360, 360), {kFamilyC, false, 0}},
    {"Interleave720Bidir", Spec(360, 720), {kFamilyC, true, 0}},
    {"Interleave1440", Spec(600, 1440, 4, 64, 300), {kFamilyC | 2, true, 0}},
    {"Interleave1440Wide", Spec(1440, 1440, 4, 96, 260), {kFamilyC, false, kEndStripe}},
    {"Split360", Spec(720, 360), {kFamilyC, false, 0}},
    {"Split720Bidir", Spec(720, 720), {kFamilyC, true, kStartStripe}},
    {"Split1440Bidir", Spec(720, 1440, 4, 64, 400), {kFamilyC, true, 0}},
    {"FamilyA0", Spec(360, 720), {kFamilyA, false, 0}},
    {"FamilyA1Bidir3Colours", Spec(540, 1440, 3), {kFamilyA | 1, true, kStartStripe}},
    {"FamilyA2Split2Colours", Spec(720, 720, 2), {kFamilyA | 2, false, 0}},
    {"FamilyA3", Spec(360, 720), {kFamilyA | 3, true, 0}},
    {"FamilyB0", Spec(360, 720), {kFamilyB, false, 0}},
    {"FamilyB1Bidir", Spec(1080, 1440), {kFamilyB | 1, true, 0}},
    {"FamilyB2Split1440", Spec(720, 1440, 4, 64, 300), {kFamilyB | 2, false, kBothStripes}},
    {"FamilyB3", Spec(300, 720), {kFamilyB | 3, false, 0}},
    {"FamilyC1Split1440", Spec(720, 1440, 4, 64, 300), {kFamilyC | 1, true, 0}},
    {"FamilyC3NoFeather", Spec(360, 1440), {kFamilyC | 3, true, kBothStripes}},
    {"OneBit", Spec(360, 720, 4, 64, 200, true), {kFamilyC, false, 0}},
    {"OneBitSplitOneColour", Spec(720, 720, 1, 64, 200, true), {kFamilyC, true, 0}},
    {"OneColour", Spec(360, 720, 1), {kFamilyC, false, 0}},
    {"FiveColours", Spec(360, 720, 5), {kFamilyC, true, kBothStripes}},
    {"SixColoursSplit", Spec(720, 720, 6), {kFamilyC, true, 0}},
};

constexpr int kFirstTableAddress = 130;

// Dots of each level the sheet's channels fired, and those the raster holds.
std::array<uint64_t, 4> FiredDots(const swathboard::SheetSummary& summary) {
    std::array<uint64_t, 4> n{};
    for (const auto& channel : summary.dots)
        for (size_t level = 1; level < 4; ++level) n[level] += channel[level];
    return n;
}

std::array<uint64_t, 4> ExpectedDots(const Raster& raster) {
    std::array<uint64_t, 4> n{};
    for (const auto& ink : ExpectedInks(raster))
        for (uint8_t v : ink) n[v] += v ? 1 : 0;
    return n;
}

class ModeTable : public RoundtripTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(ModeTable, SheetEqualsRaster) {
    const size_t index = GetParam();
    const Row& row = kRows[index];
    const uint32_t seed = 1000 + static_cast<uint32_t>(index);
    SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    swathboard::BoardConfig config;
    config.preset = RandomHead(row.head, &rng);
    const Raster raster = RandomRaster(row.spec, &rng);
    PrintThrough("127.0.0." + std::to_string(kFirstTableAddress + index), config, raster);
    if (HasFatalFailure()) return;

    const swathboard::Sheet sheet = PrintedSheet();
    const SheetDiff diff = CompareSheet(sheet, raster);
    EXPECT_EQ(diff.pixels, 0u) << diff.first;
    EXPECT_EQ(sheet.summary.doubled, 0u);
    EXPECT_EQ(sheet.summary.outside, StripeDots(row.spec, row.head));
    EXPECT_EQ(sheet.summary.drift_millilines, 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeTable, ::testing::Range<size_t>(0, std::size(kRows)),
                         [](const ::testing::TestParamInfo<size_t>& info) { return kRows[info.param].name; });

// At YDPI 1080 a pass's feed of 2880ths truncates a third of a unit, so the
// paper falls behind by an eighth of a line per pass: dots land on the
// nearest line and the sheet reports the drift (an eighth of a line per
// pass). Every dot of the raster is still fired once, with its level.
const Row kDriftRows[] = {
    {"Interleave1080", Spec(540, 1080, 4, 64, 120), {kFamilyC | 1, true, 0}},
    {"Split1080", Spec(720, 1080, 4, 64, 120), {kFamilyC, false, 0}},
};
constexpr int kFirstDriftAddress = kFirstTableAddress + static_cast<int>(std::size(kRows));

class DriftTable : public RoundtripTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(DriftTable, SheetReportsDrift) {
    const size_t index = GetParam();
    const Row& row = kDriftRows[index];
    const uint32_t seed = 2000 + static_cast<uint32_t>(index);
    SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    swathboard::BoardConfig config;
    config.preset = RandomHead(row.head, &rng);
    const Raster raster = RandomRaster(row.spec, &rng);
    PrintThrough("127.0.0." + std::to_string(kFirstDriftAddress + index), config, raster);
    if (HasFatalFailure()) return;

    const swathboard::Sheet sheet = PrintedSheet();
    const SheetDiff diff = CompareSheet(sheet, raster);
    EXPECT_GT(sheet.summary.drift_millilines, 0u);
    EXPECT_EQ(sheet.summary.drift_millilines % 125, 0u) << "drift comes in eighths of a line";
    EXPECT_EQ(FiredDots(sheet.summary), ExpectedDots(raster));
    std::printf("%s: drift %u/1000 line, %llu pixels off, %llu doubled, %llu outside\n", row.name,
                sheet.summary.drift_millilines, static_cast<unsigned long long>(diff.pixels),
                static_cast<unsigned long long>(sheet.summary.doubled),
                static_cast<unsigned long long>(sheet.summary.outside));
}

INSTANTIATE_TEST_SUITE_P(Modes, DriftTable, ::testing::Range<size_t>(0, std::size(kDriftRows)),
                         [](const ::testing::TestParamInfo<size_t>& info) { return kDriftRows[info.param].name; });

}  // namespace
}  // namespace sl::roundtrip
