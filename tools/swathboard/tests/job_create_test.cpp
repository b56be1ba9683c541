// The answer to NET_CMD_JOB_CREATE: framing on the wire and where each
// setting of the board's parameter block lands.
#include <gtest/gtest.h>

#include "raw_client.h"

namespace {

using swathboard::Layout;
using swathboard::Markers;
using swathboard::ParamPreset;

struct PresetCase {
    const char *name;
    ParamPreset preset;
    std::uint8_t marker14, marker95, marker94;
};

TEST(JobCreate, AnswerFramingPerPreset) {
    const PresetCase cases[] = {
        {"old", swathboard::OlderPreset(), 15, 29, 29},
        {"new", swathboard::NewerPreset(), 0xEF, 0xC9, 0xB8},
        {"new-align", swathboard::NewerAlignPreset(), 0xEF, 0xC9, 0xB8},
    };
    for (const PresetCase &c : cases) {
        SCOPED_TRACE(c.name);
        swathboard::BoardConfig config;
        config.preset = c.preset;
        auto board = sbtest::StartTestBoard(sbtest::kAddrJobCreatePerPreset, config);
        ASSERT_TRUE(board);
        sbtest::RawClient client;
        ASSERT_EQ(client.Connect(sbtest::TestIp(sbtest::kAddrJobCreatePerPreset)), 0);

        std::vector<std::uint8_t> r;
        ASSERT_TRUE(sbtest::Exchange(&client, sbtest::CommandPacket(2), 432, &r));
        EXPECT_EQ(r[0], 2);
        EXPECT_EQ(r[2], 0);
        const bool older_selector = r[1] == 0 && r[3] == 0;
        EXPECT_EQ(older_selector, c.preset.layout == Layout::kOlder);
        EXPECT_EQ(r[14], c.marker14);
        EXPECT_EQ(r[95], c.marker95);
        EXPECT_EQ(r[94], c.marker94);
        EXPECT_EQ(r[84] + 256 * (r[85] & 0x3F), c.preset.fw_version);
        EXPECT_EQ(sbtest::Get(r, 430, 2), sbtest::ReferenceChecksum(r, 430, 2));

        // Nothing trails the 432 bytes: the next reply starts with its own code.
        ASSERT_TRUE(sbtest::Exchange(&client, sbtest::CommandPacket(8), 14, &r));
        EXPECT_EQ(r[0], 8);
    }
}

struct Placement {
    const char *what;
    std::size_t at;
    std::size_t width;
    std::uint32_t value;
};

void ExpectPlacements(const ParamPreset &preset, std::initializer_list<Placement> placements) {
    const auto answer = swathboard::JobCreateAnswer(preset, 0);
    ASSERT_EQ(answer.size(), swathboard::kJobCreateAnswerLength);
    for (const Placement &p : placements) {
        EXPECT_EQ(sbtest::Get(answer, p.at, p.width), p.value) << p.what << " at byte " << p.at;
    }
}

TEST(JobCreate, OlderLayoutWritesOnlyOlderFields) {
    ExpectPlacements(swathboard::OlderPreset(), {
                                                    {"selector low", 1, 1, 0},
                                                    {"selector high", 3, 1, 0},
                                                    {"dir mode", 7, 1, 0},
                                                    {"speed", 13, 1, 7},
                                                    {"Acol", 26, 2, 56},
                                                    {"Bcol", 28, 2, 184},
                                                    {"Bidi", 34, 2, 20},
                                                    {"base step", 50, 2, 4810},
                                                    {"fw", 84, 2, 300},
                                                    {"no hori1 ch0", 16, 2, 0},
                                                    {"no channel map", 108, 4, 0},
                                                    {"no groups", 186, 4, 0},
                                                });
}

TEST(JobCreate, NewerLayoutSettingsLandOnTheirBytes) {
    ParamPreset p = swathboard::NewerPreset();
    p.dir_mode = swathboard::kDirModeBidirectional;
    p.speed_byte = 5;
    p.soften = 0x02;
    p.channel_map = {0x21, 0x12, 0x43, 0x34};
    p.stripe_mode = 1;
    p.stripe_size = 0x45;
    p.fw_version = 0x0123;
    p.fw_top_bits = 3;
    ExpectPlacements(p, {
                            {"selector low", 1, 1, 1},
                            {"dir mode", 7, 1, 11},
                            {"speed", 13, 1, 5},
                            {"fw low", 84, 1, 0x23},
                            {"fw high with top bits", 85, 1, 0xC1},
                            {"hori1 ch0", 16, 2, 41},
                            {"hori1 ch3", 22, 2, 43},
                            {"hori1 ch7", 42, 2, 51},
                            {"hori2 ch0", 46, 2, 21},
                            {"hori2 ch4", 60, 2, 25},
                            {"vert ch0", 66, 2, 4800},
                            {"vert ch2", 36, 2, 4804},
                            {"vert ch3", 123, 2, 4806},
                            {"vert ch7", 48, 2, 4816},
                            {"soften", 106, 1, 0x02},
                            {"channel map", 108, 4, 0x34431221},
                            {"stripe mode", 112, 1, 1},
                            {"stripe size", 115, 1, 0x45},
                            {"headnum", 120, 1, 1},
                            {"b1Rev2 below 160", 158, 1, 0x90},
                            {"vertoffset ch2", 162, 1, 0xFF},
                            {"class 3 ingroup", 186 + 18, 1, 54},
                            {"class 3 outgroup", 186 + 20, 1, 178},
                            {"class 7 bidi low speed", 186 + 47, 1, 18},
                            {"no alignment bytes", 148, 4, 0},
                        });
}

TEST(JobCreate, AlignmentArraysWinSharedBytes) {
    ExpectPlacements(swathboard::NewerAlignPreset(), {
                                                         {"b1Rev2", 158, 1, 0xA0},
                                                         {"x360_lalign ch0 over hori1 ch0", 16, 1, 1},
                                                         {"x360_lalign ch1 over hori1 ch0", 17, 1, 2},
                                                         {"x360_lalign ch2", 148, 1, 3},
                                                         {"x360_lalign ch6 over hori1 ch3", 22, 1, 7},
                                                         {"x360_ralign ch0", 152, 1, 0xFF},
                                                         {"x360_ralign ch2 over hori2 ch1", 52, 1, 0xFD},
                                                         {"x720_lalign ch0 over hori1 ch4", 24, 1, 11},
                                                         {"x720_lalign ch7", 43, 1, 18},
                                                         {"x720_ralign ch0 over hori2 ch4", 60, 1, 0xF5},
                                                         {"hori1 ch1 untouched", 18, 2, 54},
                                                         {"second head word 0", 74, 2, 0x0201},
                                                     });
}

TEST(JobCreate, PokesAndMarkerChoicesComeLast) {
    ParamPreset p = swathboard::NewerPreset();
    p.markers = Markers::kClassic;
    p.pokes = {{17, 0x99}, {169, 0x42}, {95, 0x30}};
    ExpectPlacements(p, {{"marker 14", 14, 1, 15},
                         {"poke over hori1", 17, 1, 0x99},
                         {"poke", 169, 1, 0x42},
                         {"poke over marker", 95, 1, 0x30},
                         {"marker 94", 94, 1, 29}});
    p.pokes.clear();
    p.markers = Markers::kBroken;
    ExpectPlacements(p, {{"marker 14", 14, 1, 0}, {"marker 95", 95, 1, 0}, {"marker 94", 94, 1, 0}});
}

}  // namespace
