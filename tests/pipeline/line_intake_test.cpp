// Line intake: stripes, the ring and its order list, swath cutting and the
// direction of each swath.
#include <gtest/gtest.h>

#include <vector>

#include "pipeline/line_intake.h"

namespace sl {
namespace {

// The intake the cases work on, as a job holds it.
LineIntake gIntake;

struct Ring {
    std::vector<uint8_t> planes[6];
    StripRing ring{};
    PassInfo pi{};
    Ring(uint32_t rows, uint32_t stride, StripeLayout stripes, uint32_t linesPerPass) {
        for (int i = 0; i < 6; ++i) {
            planes[i].assign(size_t(rows) * stride, 0xEE);
            ring.plane[i] = planes[i].data();
        }
        ring.stride = stride;
        ring.stripes = stripes;
        gIntake.linesPerStrip = rows;
        gIntake.ring = ring;
        pi.LinesPerPass = linesPerPass;
        StripRingStart(&gIntake, &pi);
    }
    const uint8_t *Row(int plane, uint32_t row) const {
        return planes[plane].data() + size_t(row) * ring.stride;
    }
};

TEST(LineIntake, StripeWidthsAndGaps) {
    EXPECT_EQ(StripeBytes(4, 360), 16u);
    EXPECT_EQ(StripeBytes(2, 360), 8u);
    EXPECT_EQ(StripeBytes(0, 360), 0u);
    EXPECT_EQ(StripeBytes(15, 1440), ((850 + 15) & ~15u) / 4);
    StripeLayout s = StripeLayoutFor(3, 0x24, 360);
    EXPECT_EQ(s.start, 16u);
    EXPECT_EQ(s.startGap, 8u);
    EXPECT_EQ(s.end, 16u);
    EXPECT_EQ(s.endGap, 8u);
    s = StripeLayoutFor(1, 0x24, 360);
    EXPECT_EQ(s.start + s.startGap, 0u);
    EXPECT_EQ(s.end, 16u);
}

TEST(LineIntake, StoresBandsOfYMCKBothSidesWithKNextToTheImage) {
    Ring r(720, 200, StripeLayoutFor(3, 0x24, 360), 252);
    std::vector<uint8_t> line[6];
    const uint8_t *planes[6];
    for (int k = 0; k < 6; ++k) {
        line[k].assign(100, static_cast<uint8_t>(0x10 + k));
        planes[k] = line[k].data();
    }
    const uint32_t row = gIntake.inPtr;
    StoreLine(&gIntake, planes, 100, 6, 0xFF, &r.pi);
    // Plane 2 (C): start band bytes 8..11, line from byte 24, end band at
    // 24 + 100 + 8 + (3 - 2) x 4.
    const uint8_t *c = r.Row(2, row);
    for (int b = 0; b < 8; ++b) EXPECT_EQ(c[b], 0xEE) << b;
    for (int b = 8; b < 12; ++b) EXPECT_EQ(c[b], 0xFF) << b;
    for (int b = 12; b < 24; ++b) EXPECT_EQ(c[b], 0xEE) << b;
    EXPECT_EQ(c[24], 0x12);
    EXPECT_EQ(c[123], 0x12);
    EXPECT_EQ(c[124], 0xEE);
    for (int b = 136; b < 140; ++b) EXPECT_EQ(c[b], 0xFF) << b;
    EXPECT_EQ(c[140], 0xEE);
    // K (plane 3): last band of the start stripe, first of the end stripe.
    for (int b = 12; b < 16; ++b) EXPECT_EQ(r.Row(3, row)[b], 0xFF);
    for (int b = 132; b < 136; ++b) EXPECT_EQ(r.Row(3, row)[b], 0xFF);
    // Planes 4 and 5 carry no stripes.
    EXPECT_EQ(r.Row(4, row)[0], 0xEE);
    EXPECT_EQ(r.Row(4, row)[24], 0x14);
    // The padding lines of the job end draw their stripes with 0.
    StoreLine(&gIntake, planes, 100, 6, 0x00, &r.pi);
    EXPECT_EQ(r.Row(0, row + 1)[0], 0x00);
}

TEST(LineIntake, WithoutStripesOnlyTheLineIsWritten) {
    Ring r(360, 64, StripeLayout{}, 360);
    std::vector<uint8_t> line(40, 0x33);
    const uint8_t *planes[6] = {line.data(), line.data(), line.data(), line.data()};
    StoreLine(&gIntake, planes, 40, 4, 0xFF, &r.pi);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(r.Row(k, 0)[0], 0x33);
        EXPECT_EQ(r.Row(k, 0)[39], 0x33);
        EXPECT_EQ(r.Row(k, 0)[40], 0xEE);
    }
    EXPECT_EQ(r.Row(4, 0)[0], 0xEE);  // only `colors` planes
}

// Board settings wider than the line's margin: gaps go first, then whole
// bands of the stripes; a line never writes into its neighbour's row.
TEST(LineIntake, StripesFitTheRow) {
    const StripeLayout wide = StripeLayoutFor(3, 0xFF, 360);  // 15 mm stripes and gaps on both sides
    EXPECT_EQ(wide.start + wide.startGap + wide.end + wide.endGap, 4 * 56u);  // 212 px -> 224 px
    StripeLayout s = FitStripes(wide, 200);
    EXPECT_EQ(s.endGap, 32u);
    EXPECT_EQ(s.startGap, 56u);
    EXPECT_EQ(s.end, 56u);
    EXPECT_EQ(s.start, 56u);
    s = FitStripes(wide, 101);
    EXPECT_EQ(s.startGap + s.endGap, 0u);
    EXPECT_EQ(s.end, 44u);  // 11 bytes over: cut by whole bands, 12 bytes
    EXPECT_EQ(s.start, 56u);
    EXPECT_EQ(FitStripes(wide, 0).start, 0u);
    EXPECT_EQ(FitStripes(StripeLayoutFor(3, 0x24, 360), 48).end, 16u);  // fits: unchanged

    Ring r(4, 50, wide, 4);  // a layout that does not fit at all
    std::vector<uint8_t> line(40, 0x33);
    const uint8_t *planes[6] = {line.data(), line.data(), line.data(), line.data()};
    gIntake.inPtr = 2;
    StoreLine(&gIntake, planes, 40, 4, 0xFF, &r.pi);
    for (int k = 0; k < 4; ++k) {
        for (uint32_t b = 0; b < 50; ++b) {
            EXPECT_EQ(r.Row(k, 1)[b], 0xEE);
            EXPECT_EQ(r.Row(k, 3)[b], 0xEE);
        }
    }
}

TEST(LineIntake, RingStartOrderWrapAndRelease) {
    Ring r(1440, 8, StripeLayout{}, 252);
    EXPECT_EQ(gIntake.orderCount, 1440u - 252u);
    EXPECT_EQ(gIntake.inPtr, 1188u);
    EXPECT_EQ(RowOfLine(&gIntake, 5), 5u);
    std::vector<uint8_t> line(8, 1);
    const uint8_t *planes[6] = {line.data()};
    for (uint32_t i = 0; i < 251; ++i) {
        StoreLine(&gIntake, planes, 8, 1, 0, &r.pi);
        ASSERT_EQ(SwathComplete(&r.pi), 0);
    }
    EXPECT_EQ(gIntake.inPtr, 1439u);
    StoreLine(&gIntake, planes, 8, 1, 0, &r.pi);  // stored in the last row, wraps
    EXPECT_EQ(gIntake.inPtr, 0u);
    EXPECT_EQ(RowOfLine(&gIntake, 1439), 1439u);
    EXPECT_EQ(SwathComplete(&r.pi), 1);
    EXPECT_EQ(r.pi.collet, 0u);
    ReleaseRows(&gIntake, 252);
    EXPECT_EQ(gIntake.orderCount, 1188u);
    EXPECT_EQ(RowOfLine(&gIntake, 0), 252u);
    EXPECT_EQ(RowOfLine(&gIntake, 1187), 1439u);
    StoreLine(&gIntake, planes, 8, 1, 0, &r.pi);
    EXPECT_EQ(RowOfLine(&gIntake, 1188), 0u);  // the next line reuses the first row
    ReleaseRows(&gIntake, 5000);
    EXPECT_EQ(gIntake.orderCount, 0u);
}

TEST(LineIntake, Direction) {
    UISetupPara ui{};
    ui.Dir = 0;
    for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(SwathDirection(&gIntake, n, &ui, 1), L_TO_R);
    ui.Dir = 11;
    gIntake.swathDirection = R_TO_L;  // left over from an earlier job
    const uint8_t want[4] = {L_TO_R, R_TO_L, L_TO_R, R_TO_L};
    for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(SwathDirection(&gIntake, n, &ui, 1), want[n]) << n;
    EXPECT_EQ(SwathDirection(&gIntake, 4, &ui, 0), R_TO_L);  // no toggle: kept
}

TEST(LineIntake, OneBitExpansion) {
    uint16_t table[256];
    for (int v = 0; v < 256; ++v) {
        uint16_t w = 0;
        for (int j = 0; j < 8; ++j)
            if (v & (1 << j)) w |= static_cast<uint16_t>(2 << (2 * j));
        table[v] = static_cast<uint16_t>((w >> 8) | (w << 8));
    }
    const uint8_t in[2] = {0x80, 0x01};
    uint8_t out[4];
    ExpandOneBitLine(out, in, 2, table);
    EXPECT_EQ(out[0], 0x80);  // leftmost pixel, level 2
    EXPECT_EQ(out[1], 0x00);
    EXPECT_EQ(out[2], 0x00);
    EXPECT_EQ(out[3], 0x02);  // rightmost pixel
}

}  // namespace
}  // namespace sl
