#include "roundtrip/roundtrip_fixture.h"

#include <algorithm>
#include <sstream>

namespace sl::roundtrip {

namespace {

constexpr uint16_t kStepReference = 35860;  // step calibration at which a step is one 2880th of an inch
constexpr uint64_t kStepUnitsPerInch = 2880;
// Step calibration values a board may hold: from a step of 1/20 of a 2880th
// to almost two, every swath's Step still within 16 bits.
constexpr int kLeastStep = 2000, kMostStep = 65000;
constexpr std::array<uint32_t, 8> kClassResolution = {225, 300, 450, 600, 900, 1200, 1800, 2400};
constexpr std::array<const char *, 4> kInkName = {"K", "C", "M", "Y"};

template <typename T>
T Draw(std::mt19937 *rng, int lo, int hi) {
    return static_cast<T>(std::uniform_int_distribution<int>(lo, hi)(*rng));
}

// Each colour on one even and one odd map position, in random order.
std::array<uint8_t, 4> RandomWiring(std::mt19937 *rng) {
    std::array<uint8_t, 4> even = {1, 2, 3, 4}, odd = {1, 2, 3, 4};
    std::shuffle(even.begin(), even.end(), *rng);
    std::shuffle(odd.begin(), odd.end(), *rng);
    std::array<uint8_t, 4> map{};
    for (size_t i = 0; i < 4; ++i) map[i] = static_cast<uint8_t>(even[i] | (odd[i] << 4));
    return map;
}

uint16_t StepCalibration(const HeadChoice &choice, std::mt19937 *rng) {
    return choice.random_feed ? Draw<uint16_t>(rng, kLeastStep, kMostStep) : kStepReference;
}

uint32_t StripePixels(uint32_t mm, uint32_t xdpi) { return (mm * xdpi * 10 / 254 + 15) & ~15u; }

swathboard::ParamPreset OlderHead(const HeadChoice &choice, std::mt19937 *rng) {
    swathboard::ParamPreset p = swathboard::OlderPreset();
    p.acol = Draw<uint16_t>(rng, 40, 70);
    p.bcol = Draw<uint16_t>(rng, 150, 200);
    p.bidi = Draw<uint16_t>(rng, 10, 30);
    p.base_step = StepCalibration(choice, rng);
    p.dir_mode = choice.bidirectional ? swathboard::kDirModeBidirectional : 0;
    return p;
}

}  // namespace

swathboard::ParamPreset RandomHead(const HeadChoice &choice, std::mt19937 *rng) {
    if (choice.older_block) return OlderHead(choice, rng);
    swathboard::ParamPreset p = swathboard::NewerAlignPreset();
    const int ingroup = Draw<int>(rng, 40, 70), outgroup = Draw<int>(rng, 150, 200);
    for (size_t k = 0; k < p.groups.size(); ++k) {
        swathboard::GroupRecord &g = p.groups[k];
        g.ingroup = static_cast<uint8_t>(ingroup * kClassResolution[k] / 600);
        g.outgroup = static_cast<uint8_t>(outgroup * kClassResolution[k] / 600);
        g.vsd4 = Draw<uint8_t>(rng, 10, 30);
        g.vsd3 = Draw<uint8_t>(rng, 10, 30);
        g.bidi_high_speed = Draw<uint8_t>(rng, 10, 30);
        g.bidi_low_speed = Draw<uint8_t>(rng, 10, 30);
    }
    for (auto *align : {&p.x360_lalign, &p.x360_ralign, &p.x720_lalign, &p.x720_ralign}) {
        for (int8_t &v : *align) v = Draw<int8_t>(rng, -10, 10);
    }
    for (uint16_t &v : p.vert) v = StepCalibration(choice, rng);
    p.channel_map = RandomWiring(rng);
    p.soften = choice.soften;
    p.dir_mode = choice.bidirectional ? swathboard::kDirModeBidirectional : 0;
    p.stripe_mode = choice.stripe_mode;
    p.stripe_size = choice.stripe_size;
    return p;
}

uint32_t FeedToleranceMillilines(const swathboard::ParamPreset &preset, uint32_t ydpi) {
    // An older block carries one value for every pass count.
    uint64_t largest = preset.base_step;
    if (preset.layout != swathboard::Layout::kOlder)
        largest = *std::max_element(preset.vert.begin(), preset.vert.end());
    const uint64_t per_inch = kStepUnitsPerInch * kStepReference;
    // A step of `largest` feeds largest / (2880 * 35860) inch, that is
    // largest * ydpi / (2880 * 35860) lines.
    const bool whole_lines = largest == kStepReference && kStepUnitsPerInch % ydpi == 0;
    if (whole_lines) return 0;
    return static_cast<uint32_t>((500 * largest * ydpi + per_inch - 1) / per_inch);
}

uint64_t StripeDots(const RasterShape &shape, const HeadChoice &choice) {
    const uint64_t sides = ((choice.stripe_mode & 1) ? 1 : 0) + ((choice.stripe_mode & 2) ? 1 : 0);
    // Each of Y, M, C, K has a band a quarter of the stripe wide, at full level.
    const uint64_t band = StripePixels(choice.stripe_size & 0x0F, shape.xdpi) / 4;
    const uint64_t planes = std::min<uint64_t>(shape.colors, 4);
    return sides * band * planes * shape.height;
}

SheetDiff CompareSheet(const swathboard::Sheet &sheet, const Raster &raster) {
    SheetDiff diff;
    const auto expected = ExpectedInks(raster);
    if (sheet.width != raster.shape.width || sheet.height != raster.shape.height) {
        diff.pixels = 1;
        diff.first = "sheet is " + std::to_string(sheet.width) + "x" + std::to_string(sheet.height);
        return diff;
    }
    std::ostringstream first;
    for (size_t ink = 0; ink < 4; ++ink) {
        for (size_t i = 0; i < expected[ink].size(); ++i) {
            if (sheet.ink[ink][i] == expected[ink][i]) continue;
            if (++diff.pixels <= 5) {
                first << " " << kInkName[ink] << "(row " << i / sheet.width << ", col " << i % sheet.width
                      << "): " << int(sheet.ink[ink][i]) << " not " << int(expected[ink][i]) << ";";
            }
        }
    }
    diff.first = first.str();
    return diff;
}

void RoundtripTest::SetUp() { MakeFolder(); }

void RoundtripTest::TearDown() {
    ClosePrint();  // harmless when the job is closed
    BoardTest::TearDown();
}

void RoundtripTest::StartJob(const std::string &ip, const swathboard::BoardConfig &config,
                             const Raster &raster) {
    StartBoardAt(ip, config);
    WriteAddresses(ip);
    swathboard::SetImageSize(board(), raster.shape.width, raster.shape.height, raster.shape.xdpi);
    ASSERT_EQ(InitPrinter(), 1);
    const JobProp job = JobOf(raster.shape);
    ASSERT_EQ(StartPrint(&job), 1);
}

void RoundtripTest::PrintThrough(const std::string &ip, const swathboard::BoardConfig &config,
                                 const Raster &raster, const std::function<void()> &mid_job) {
    StartJob(ip, config, raster);
    if (HasFatalFailure()) return;
    for (uint32_t row = 0; row < raster.shape.height; ++row) {
        if (mid_job && row == raster.shape.height * 2 / 3) mid_job();
        if (HasFatalFailure()) return;
        const std::vector<uint8_t> line = HostLine(raster, row);
        ASSERT_EQ(PrintALine(line.data(), static_cast<uint32_t>(line.size())), 1) << "line " << row;
    }
    ASSERT_EQ(EndPrint(), 1);
    ASSERT_EQ(ClosePrint(), 1);
}

swathboard::Sheet RoundtripTest::PrintedSheet() {
    swathboard::Sheet sheet;
    EXPECT_TRUE(swathboard::PrintedSheet(board(), &sheet));
    return sheet;
}

}  // namespace sl::roundtrip
