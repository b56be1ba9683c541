// The fields of the job-open and job-end commands of a two-pass 360 x 720
// job in four colours, as a table: which packet, which field, what the board
// must have read. Expected values come from the board's preset, the job and
// the wire layout, never from the library under test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "board_fixture.h"
#include "platform/platform.h"
#include "src/head_settings.h"
#include "src/protocol.h"
#include "swathboard.h"

namespace sl::test {

struct FieldRow {
    const char *command;  // names the row in a failure, with the field
    uint8_t code;         // the first packet of this code is checked
    const char *field;
    uint32_t expected;
};

// The step calibration the board's settings give a two-pass job, read back
// from its job-create answer the way the emulated head prints with it.
inline uint32_t TwoPassStepCalibration(const swathboard::ParamPreset &preset) {
    using namespace swathboard;
    return StepCalibration(ReadHeadSettings(JobCreateAnswer(preset, kStatusAccepted)), 2);
}

// The speed field of an inked swath of a 360-dpi job at the high print speed
// (the preset's speed byte 7): speed value 42, in units of 600.
constexpr uint32_t kTwoPassSwathSpeed = 42u * 600;

inline std::vector<FieldRow> TwoPassJobCommandRows(uint16_t jobId, const swathboard::ParamPreset &preset) {
    using swathboard::NET_CMD_JOB_CREATE, swathboard::NET_CMD_PRINT_START, swathboard::NET_CMD_PRINT_END;
    constexpr uint32_t kResolution = 2u | 4u << 4 | 2u << 8;  // 360 x 720, two passes
    constexpr uint32_t kVsd = 0x8641;                         // dot-size class 2 (360 x 720)
    const PlatTime utc = plat_utc_time();
    const uint32_t today = uint32_t{utc.year} * 65536 + utc.month * 256 + utc.day;
    // clang-format off
    return {
        {"job create",  NET_CMD_JOB_CREATE,  "JobId",      jobId},
        {"job create",  NET_CMD_JOB_CREATE,  "b6",         3},
        {"job create",  NET_CMD_JOB_CREATE,  "d4c",        preset.d4c},
        {"job create",  NET_CMD_JOB_CREATE,  "hires",      0x80},
        {"job create",  NET_CMD_JOB_CREATE,  "w10",        11068},
        {"job create",  NET_CMD_JOB_CREATE,  "resolution", kResolution},
        {"job create",  NET_CMD_JOB_CREATE,  "VSD",        kVsd},
        {"job create",  NET_CMD_JOB_CREATE,  "w26",        0},
        {"job create",  NET_CMD_JOB_CREATE,  "w28",        213},
        {"job create",  NET_CMD_JOB_CREATE,  "tag",        102},
        {"job create",  NET_CMD_JOB_CREATE,  "w38",        0},
        {"print start", NET_CMD_PRINT_START, "JobId",      jobId},
        {"print start", NET_CMD_PRINT_START, "resolution", kResolution},
        {"print start", NET_CMD_PRINT_START, "VSD",        kVsd},
        {"print start", NET_CMD_PRINT_START, "date",       today},
        {"print start", NET_CMD_PRINT_START, "step_ref",   35860},
        {"print start", NET_CMD_PRINT_START, "tag",        104},
        {"print start", NET_CMD_PRINT_START, "Colors",     4},
        {"print start", NET_CMD_PRINT_START, "b32",        6},  // the preset's firmware 700
        {"print start", NET_CMD_PRINT_START, "b33",        0x30},
        {"print start", NET_CMD_PRINT_START, "step_cal",   TwoPassStepCalibration(preset)},
        {"print end",   NET_CMD_PRINT_END,   "JobId",      jobId},
        {"print end",   NET_CMD_PRINT_END,   "b6",         3},
        {"print end",   NET_CMD_PRINT_END,   "tag",        101},
    };
    // clang-format on
}

// Checks each row against the first packet of its command.
inline void ExpectFields(const std::vector<swathboard::PacketRecord> &all,
                         const std::vector<FieldRow> &rows) {
    for (const FieldRow &row : rows) {
        const auto packets = OfCode(all, row.code);
        ASSERT_FALSE(packets.empty()) << row.command << ": no such packet";
        EXPECT_EQ(Field(packets.front(), row.field), row.expected) << row.command << " " << row.field;
    }
}

}  // namespace sl::test
