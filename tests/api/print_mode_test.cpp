#include <gtest/gtest.h>

#include <cstring>

#include "api/channel_map.h"
#include "api/print_mode.h"
#include "pipeline/swath_cycle.h"

namespace sl {
namespace {

JobProp Job(uint32_t xdpi, uint32_t ydpi, uint32_t width = 1000) {
    JobProp j{};
    j.XDPI = xdpi;
    j.YDPI = ydpi;
    j.Width = width;
    j.Pass = ydpi / 360;  // as the job start sets it
    j.Colors = 4;
    return j;
}

TEST(WidenLine, AddsTheSideMarginAndDerivesTheStride) {
    const struct {
        uint32_t xdpi, width, widened, stride;
    } cases[] = {
        {360, 10000, 10576, 2648},  // trunc(566.9) = 566, rounded up to 576
        {720, 1000, 2152, 544},     // trunc(1133.9) = 1133, rounded up to 1152
        {600, 100, 1060, 272},      // 944 -> 960
        {1440, 8, 2280, 576},       // 2267 -> 2272
        // Would wrap past 32 bits: saturates, so the memory plan refuses it.
        {360, 0xFFFFFF00u, 0xFFFFFFFFu, 0x40000000u},
    };
    for (const auto &c : cases) {
        JobProp j = Job(c.xdpi, 720, c.width);
        WidenLine(&j);
        EXPECT_EQ(j.Width, c.widened) << c.xdpi << " " << c.width;
        EXPECT_EQ(j.BytesPerLine, c.stride) << c.xdpi << " " << c.width;
    }
}

TEST(Adjust720, PassCountAndWorkingResolution) {
    const struct {
        uint32_t xdpi, ydpi, pass, workingXdpi;
    } cases[] = {
        // clang-format off
        {360, 360, 1, 360},  {360, 720, 2, 360},  {600, 1080, 3, 600}, {1440, 1440, 4, 1440},
        {720, 360, 2, 360},  {720, 720, 4, 360},  {720, 1080, 6, 360}, {720, 1440, 8, 360},
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.xdpi << "x" << c.ydpi);
        PrintJob pj{};
        pj.prop = Job(c.xdpi, c.ydpi, 2153);
        JobProp &j = pj.prop;
        UISetupPara &ui = pj.board;
        const BoardMode &gMode = pj.mode;
        ui.chantable[0] = 0xFF;
        PublishMode(&pj.mode, &j);
        Adjust720(&pj, c.xdpi == 720);
        EXPECT_EQ(j.Pass, c.pass);
        EXPECT_EQ(gMode.pass, c.pass);
        EXPECT_EQ(j.XDPI, c.workingXdpi);
        EXPECT_EQ(j.Width, c.xdpi == 720 ? 1077u : 2153u);  // odd width halves rounding up
        EXPECT_EQ(gMode.xdpi, c.xdpi);                      // the host's, not halved
        EXPECT_EQ(ui.chantable[0], 0xC7);                   // soften bits 3 to 5 cleared
    }
}

TEST(ResolutionCodes, FromTheModeResolutions) {
    const struct {
        uint32_t dpi;
        uint8_t x, y;
    } cases[] = {
        // clang-format off
        {150, 1, 1},  {180, 1, 1},  {225, 1, 0},  {270, 1, 0},  {300, 2, 2},  {360, 2, 2},
        {450, 3, 0},  {540, 3, 3},  {600, 4, 4},  {720, 2, 4},  {900, 5, 0},  {1080, 5, 5},
        {1200, 6, 6}, {1440, 6, 6}, {1800, 7, 0}, {2160, 7, 7}, {2400, 8, 8}, {2880, 8, 8},
        {0, 0, 0},    {361, 0, 0},  {5760, 0, 0},
        // clang-format on
    };
    for (const auto &c : cases) {
        EXPECT_EQ(XResCode(c.dpi), c.x) << c.dpi;
        EXPECT_EQ(YResCode(c.dpi), c.y) << c.dpi;
    }
}

TEST(DotSizeClass, FirstMatchingRule) {
    const struct {
        uint32_t x, y;
        uint8_t vsd;
        uint32_t reserved;
        uint8_t expected;
    } cases[] = {
        // clang-format off
        {360, 720, 4, 0, 2},     {599, 360, 0, 0, 2},     {360, 1440, 4, 0, 1},
        {600, 360, 4, 0, 2},     {720, 720, 4, 0, 1},     {600, 1440, 4, 0, 4},
        {720, 2160, 4, 0, 4},    {1440, 1440, 3, 0, 1},   {600, 2880, 4, 0, 1},
        {360, 720, 3, 0xABCE, 3},  // the tag makes VsdMode the class
        {1440, 1440, 0, 0xABCF, 0}, {360, 720, 3, 0xABCD, 2},
        // clang-format on
    };
    for (const auto &c : cases) {
        EXPECT_EQ(DotSizeClassFor(c.x, c.y, c.vsd, c.reserved), c.expected)
            << c.x << "x" << c.y << " vsd " << int(c.vsd) << " tag " << c.reserved;
    }
}

TEST(SpeedValue, ByWorkingResolutionHeadTypeAndDotClass) {
    const struct {
        uint32_t xdpi;
        uint8_t headType, dotClass, expected;
    } cases[] = {
        // clang-format off
        {225, 7, 1, 60}, {225, 5, 1, 53}, {270, 7, 1, 53}, {270, 5, 1, 48},
        {300, 7, 4, 42}, {300, 7, 1, 46}, {360, 7, 2, 42}, {360, 5, 2, 35},
        {450, 7, 1, 32}, {540, 5, 1, 28}, {600, 7, 4, 23}, {900, 5, 1, 16},
        {1080, 5, 1, 14}, {1200, 5, 1, 12}, {1440, 5, 2, 10}, {1440, 5, 4, 11},
        {1440, 7, 1, 11}, {720, 7, 1, 23}, {0, 7, 1, 23}, {2880, 5, 1, 23},
        // clang-format on
    };
    for (const auto &c : cases) {
        EXPECT_EQ(SpeedValueFor(c.xdpi, c.headType, c.dotClass), c.expected)
            << c.xdpi << " head " << int(c.headType) << " class " << int(c.dotClass);
    }
}

TEST(SpeedValue, SelectedForTheJob) {
    const struct {
        uint32_t xdpi, ydpi;
        uint8_t speed, expected;
    } cases[] = {
        // clang-format off
        {720, 720, 7, 42},    // works at 360 across
        {600, 720, 5, 23},
        {1440, 720, 5, 11},   // dot-size class 1
        {1440, 360, 5, 10},   // dot-size class 2
        // clang-format on
    };
    for (const auto &c : cases) {
        PrintJob pj{};
        pj.prop = Job(c.xdpi, c.ydpi);
        UISetupPara &ui = pj.board;
        ui.PrintSpeed = c.speed;
        PublishMode(&pj.mode, &pj.prop);
        Adjust720(&pj, c.xdpi == 720);
        SelectSpeedClass(&pj);
        EXPECT_EQ(ui.SpeedValue, c.expected) << c.xdpi << "x" << c.ydpi;
    }
}

struct Maps {
    uint8_t C1[8];
    uint8_t C2[8];
};

// Position p's code sits in the low nibble of byte p/2 for even p, else the
// high nibble, and names the colour of channel 7 - p.
const uint8_t kPairsInOrder[4] = {0x11, 0x22, 0x33, 0x44};
const uint8_t kInterleaved[4] = {0x21, 0x12, 0x43, 0x34};  // codes 1 2 2 1 3 4 4 3

TEST(BoardChannelMap, DecodesValidMaps) {
    Maps m{};
    ASSERT_TRUE(DecodeBoardChannelMap(kPairsInOrder, m.C1, m.C2));
    const Maps builtin = {{6, 4, 2, 0}, {7, 5, 3, 1}};
    EXPECT_EQ(0, std::memcmp(&m, &builtin, sizeof m));

    ASSERT_TRUE(DecodeBoardChannelMap(kInterleaved, m.C1, m.C2));
    const Maps interleaved = {{4, 5, 0, 1}, {7, 6, 3, 2}};
    EXPECT_EQ(0, std::memcmp(&m, &interleaved, sizeof m));
}

TEST(BoardChannelMap, RejectsInvalidMaps) {
    const uint8_t cases[][4] = {
        {0x11, 0x21, 0x33, 0x44},  // K three times, C once
        {0x10, 0x22, 0x33, 0x44},  // code 0
        {0x11, 0x22, 0x33, 0x54},  // code 5
        {0x21, 0x21, 0x43, 0x43},  // each colour twice, but both at even (or odd) positions
        {0x00, 0x00, 0x00, 0x00},
    };
    for (const auto &map : cases) {
        Maps m;
        std::memset(&m, 0xEE, sizeof m);
        EXPECT_FALSE(DecodeBoardChannelMap(map, m.C1, m.C2)) << std::hex << int(map[0]);
        EXPECT_EQ(m.C1[0], 0xEE);  // left alone
    }
}

TEST(ConvertColorToChannel, ChoosesTheMap) {
    const uint8_t tripled[4] = {0x11, 0x21, 0x33, 0x44};
    const Maps board = {{4, 5, 0, 1}, {7, 6, 3, 2}};
    const Maps builtin = {{6, 4, 2, 0}, {7, 5, 3, 1}};
    const Maps oldFirmware = {{6, 4, 2, 0}, {1, 3, 5, 7}};
    const struct {
        uint8_t rev2;
        uint16_t firmware;
        const uint8_t *map;
        const Maps *expected;
    } cases[] = {
        // clang-format off
        {160, 400, kInterleaved, &board},
        {255, 367, kInterleaved, &board},
        {159, 400, kInterleaved, &builtin},
        {160, 366, kInterleaved, &oldFirmware},  // old firmware: never the board's map
        {0, 332, kInterleaved, &oldFirmware},
        {160, 400, tripled, &builtin},           // invalid map: silently the built-in one
        {160, 400, kPairsInOrder, &builtin},
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.rev2) << " fw " << c.firmware);
        UISetupPara ui{};
        ui.rev[2] = c.rev2;
        ui.CurFWVersion = c.firmware;
        std::memcpy(&ui.chantable[2], c.map, 4);
        JobProp j = Job(360, 720);
        FormatInfo fmt;
        std::memset(&fmt, 0xEE, sizeof fmt);
        ConvertColorToChannel(&j, &ui, &fmt, false);
        Maps got;
        std::memcpy(got.C1, fmt.C1, 8);
        std::memcpy(got.C2, fmt.C2, 8);
        EXPECT_EQ(0, std::memcmp(&got, c.expected, sizeof got));
    }
}

TEST(ConvertColorToChannel, FillsTheFormatRecord) {
    UISetupPara ui{};
    JobProp j = Job(720, 720);
    j.BytesPerLine = 2649;
    j.Colors = 6;
    for (bool xdpi720 : {false, true}) {
        FormatInfo fmt;
        std::memset(&fmt, 0xEE, sizeof fmt);
        ConvertColorToChannel(&j, &ui, &fmt, xdpi720);
        EXPECT_EQ(fmt.bytesperline, xdpi720 ? 1325u : 2649u);
        EXPECT_EQ(fmt.colors, 6);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(fmt.planemap[i], i);
        // Slots 4 and 5 (LC, LM) name channel 0 like slot 3: no channel of their own.
        for (int i = 4; i < 8; ++i) {
            EXPECT_EQ(fmt.C1[i], 0);
            EXPECT_EQ(fmt.C2[i], 0);
        }
    }
}

TEST(LinesPerSwath, FromSoftenDotsAndResolution) {
    const struct {
        uint8_t passes;
        uint32_t ydpi;
        uint16_t softendots;
        uint32_t expected;
    } cases[] = {
        // clang-format off
        {1, 360, 0, 360},      // one pass: a full head of lines
        {4, 1440, 63, 252},
        {2, 720, 180, 360},    // no feathering: 360 / passes
        {8, 1440, 45, 180},    // 720 x 1440: eight passes
        {3, 1080, 84, 252},
        // clang-format on
    };
    for (const auto &c : cases) {
        PassInfo pi{};
        pi.PassNum = c.passes;
        pi.ydpi = c.ydpi;
        pi.softendots = c.softendots;
        EXPECT_EQ(LinesPerSwath(&pi), c.expected) << int(c.passes) << " " << c.ydpi;
    }
}

}  // namespace
}  // namespace sl
