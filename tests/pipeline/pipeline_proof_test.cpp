// The pipeline proof: real raster lines through intake, pass separation and
// formatting; every inked bit of every swath's data window traced back to the
// pixel it prints. Each input pixel, stripes included, must print exactly
// once, at its place and level, and nothing else may print.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "pipeline/pass_separation.h"
#include "support/pipeline_harness.h"

namespace sl::test {
namespace {

// Rows of the pass-plan table: the host's resolutions.
struct Mode {
    uint32_t xdpi, ydpi;
};
const Mode kModes[] = {{360, 360}, {360, 720}, {360, 1080}, {1440, 1440},
                       {720, 360}, {720, 720}, {720, 1080}, {720, 1440}};

// Soften bytes: family A (64 up), B (below -64) and C, modes 0 to 3.
const uint8_t kSoften[] = {0x40, 0x41, 0x42, 0x43, 0x80, 0x81, 0x82, 0x83, 0x00, 0x01, 0x02, 0x03};

ProofJob JobFor(Mode m) {
    ProofJob job;
    job.xdpi = m.xdpi;
    job.ydpi = m.ydpi;
    job.width = 720;
    // The blank band (a ring and two swaths' worth) with image before and after.
    const uint32_t ring = m.ydpi / 360 * 360;
    job.height = ring / 2 + 300 + ring + 720 + ring + 500;
    return job;
}

ProofResult ExpectExact(const ProofJob &job) {
    ProofResult r = RunProof(job);
    EXPECT_TRUE(r.Exact()) << r.firstProblem << "\n  inked " << r.inked << ", printed once " << r.printed
                           << ", missing " << r.missing << ", doubled " << r.doubled << ", wrong level "
                           << r.wrongLevel << ", stray " << r.stray;
    EXPECT_GT(r.inked, 0u);
    EXPECT_EQ(r.printed, r.inked);
    return r;
}

using Combination = std::tuple<Mode, uint8_t, bool, bool>;
class PipelineProof : public ::testing::TestWithParam<Combination> {};

TEST_P(PipelineProof, EveryPixelPrintsOnceAtItsPlaceAndLevel) {
    auto [mode, soften, bidirectional, stripes] = GetParam();
    ProofJob job = JobFor(mode);
    job.softenByte = soften;
    job.bidirectional = bidirectional;
    if (stripes) {
        job.stripeMode = 3;
        job.stripeSize = 0x24;  // 4 mm stripes, 2 mm gaps, both sides
    }
    job.seed = soften * 7u + mode.ydpi + (bidirectional ? 1 : 0);
    ProofResult r = ExpectExact(job);
    if (bidirectional) {
        EXPECT_GT(r.rightToLeft, 0u);
    }
    if (!stripes) {
        EXPECT_GT(r.blankSwaths, 0u) << "the blank band should leave whole swaths blank";
    }
}

std::string CombinationName(const ::testing::TestParamInfo<Combination> &info) {
    const Mode mode = std::get<0>(info.param);
    const uint8_t soften = std::get<1>(info.param);
    const char family = soften >= 0x80 ? 'B' : soften >= 0x40 ? 'A' : 'C';
    return "X" + std::to_string(mode.xdpi) + "Y" + std::to_string(mode.ydpi) + "_" + family +
           std::to_string(soften & 3) + (std::get<2>(info.param) ? "_bidi" : "_single") +
           (std::get<3>(info.param) ? "_stripes" : "_plain");
}

INSTANTIATE_TEST_SUITE_P(AllModes, PipelineProof,
                         ::testing::Combine(::testing::ValuesIn(kModes), ::testing::ValuesIn(kSoften),
                                            ::testing::Bool(), ::testing::Bool()),
                         CombinationName);

TEST(PipelineProofJobs, OneBitJobs) {
    for (Mode m : {Mode{360, 720}, Mode{720, 1440}}) {
        for (uint8_t dot : {1, 3}) {
            ProofJob job = JobFor(m);
            job.oneBit = true;
            job.dotSize = dot;
            job.width = 1440;
            job.bidirectional = true;
            job.stripeMode = 1;
            job.stripeSize = 0x13;
            SCOPED_TRACE(testing::Message() << m.xdpi << "x" << m.ydpi << " dot " << int(dot));
            ExpectExact(job);
        }
    }
}

// Fewer than four colours fill the slots counted down from 3; the formatter
// prints exactly the slots that were filled.
TEST(PipelineProofJobs, FewerColours) {
    for (uint16_t colors : {1, 2, 3}) {
        ProofJob job = JobFor(Mode{360, 1080});
        job.colors = colors;
        job.bidirectional = true;
        job.stripeMode = 2;
        job.stripeSize = 0x12;
        SCOPED_TRACE(colors);
        ExpectExact(job);
    }
}

// Other working resolutions: class 3 (margin -6), 1440 across at 720 down and
// 2400 across (class 7).
TEST(PipelineProofJobs, OtherResolutionsAcross) {
    for (Mode m : {Mode{600, 720}, Mode{1440, 720}, Mode{2400, 1440}}) {
        ProofJob job = JobFor(m);
        job.bidirectional = true;
        job.softenByte = 0x41;
        SCOPED_TRACE(testing::Message() << m.xdpi << "x" << m.ydpi);
        ExpectExact(job);
    }
}

// Family B, mode 0, eight passes: the paper advances 8 x 24 = 192 rows per
// cycle, so only 168 rows are left for the 180-row band, which is cut to
// them and leaves no row idle.
TEST(PipelineProofJobs, FamilyBEightPassesCutsTheBand) {
    ProofJob job = JobFor(Mode{360, 2880});
    job.softenByte = 0x80;
    ProofResult r = ExpectExact(job);
    EXPECT_EQ(r.passNum, 8u);
    EXPECT_EQ(r.softenDots, 24u);
    EXPECT_EQ(r.softLines, 168u);
    EXPECT_EQ(r.idleRows, 0u);
}

// The pass-plan table with soften byte 0 (family C, mode 0).
struct PlanRow {
    Mode mode;
    uint32_t n, s, d, t, linesPerPass;
    std::vector<uint32_t> feeds;
};

TEST(PassPlan, RowsOfTheTable) {
    const PlanRow rows[] = {
        {{360, 360}, 1, 108, 252, 0, 360, {360}},
        {{360, 720}, 2, 108, 126, 0, 252, {251, 253}},
        {{360, 1080}, 3, 108, 84, 0, 252, {251, 251, 254}},
        {{360, 1440}, 4, 108, 63, 0, 252, {251, 251, 251, 255}},
        {{720, 360}, 2, 108, 126, 0, 126, {126, 126}},
        {{720, 720}, 4, 108, 63, 0, 126, {125, 127, 125, 127}},
        {{720, 1080}, 6, 108, 42, 0, 126, {125, 125, 128, 125, 125, 128}},
        {{720, 1440}, 8, 104, 32, 0, 128, {127, 127, 127, 131, 127, 127, 127, 131}},
    };
    for (const PlanRow &row : rows) {
        SCOPED_TRACE(testing::Message() << row.mode.xdpi << "x" << row.mode.ydpi);
        ProofJob job = JobFor(row.mode);
        ProofResult r = ExpectExact(job);
        EXPECT_EQ(r.passNum, row.n);
        if (row.n > 1) {
            EXPECT_EQ(r.softLines, row.s);
            EXPECT_EQ(r.idleRows, row.t);
        }
        EXPECT_EQ(r.softenDots, row.d);
        EXPECT_EQ(r.linesPerPass, row.linesPerPass);
        ASSERT_GE(r.feeds.size(), 2 * row.feeds.size());
        for (size_t q = 0; q < 2 * row.feeds.size(); ++q) {
            EXPECT_EQ(r.feeds[q], row.feeds[q % row.feeds.size()]) << q;
        }
        // Over a cycle the paper moves as far as the strip.
        uint32_t cycle = 0;
        for (uint32_t f : row.feeds) cycle += f;
        EXPECT_EQ(cycle, row.n * row.linesPerPass);
    }
}

// In the 720-dpi mode a line is visited by passes half a cycle apart, and two
// such visits must print opposite columns. The parity rule (even columns when
// the sequence number within the cycle is even) gives both visits the same
// columns once half a cycle is even.
TEST(PassPlan, ColumnPhaseAlternatesBetweenVisitsOfALine) {
    auto byParity = [](uint32_t n, uint32_t q) -> uint32_t {
        uint32_t m = q % n;
        if (n == 2) return m;
        if (n == 4) return (m == 0 || m == 3) ? 0 : 1;
        return m & 1;
    };
    for (uint32_t n : {2u, 4u, 6u, 8u, 10u, 12u, 16u}) {
        const uint32_t h = n / 2;
        bool paritySound = true;
        for (uint32_t q = 0; q < 3 * n; ++q) {
            EXPECT_NE(ColumnSplitOdd(n, q), ColumnSplitOdd(n, q + h)) << n << " passes, q " << q;
            paritySound &= byParity(n, q) != byParity(n, q + h);
            if (n <= 6) {
                EXPECT_EQ(ColumnSplitOdd(n, q), byParity(n, q)) << "kept for " << n << " passes";
            }
        }
        EXPECT_EQ(paritySound, h % 2 == 1 || n <= 6) << n << " passes";
    }
}

}  // namespace
}  // namespace sl::test
