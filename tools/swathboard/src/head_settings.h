// The head as the board described it to the host: the settings of the
// job-create answer the board sent, read back the way the host takes them.
//
// The emulated head is built to match these exactly (its mechanical errors
// are the alignment values, its paper drive the step calibration), so a host
// that applies them correctly prints every dot where it belongs.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace swathboard {

struct HeadGroup {
    std::uint8_t ingroup = 0;               // distance between the two channels of a pair, slices
    std::uint8_t outgroup = 0;              // distance between neighbouring pairs, slices
    std::array<std::uint8_t, 4> bidi = {};  // bidirectional value by dot-size class 1..4
};

struct HeadSettings {
    std::uint8_t dir_mode = 0;
    bool high_speed = false;               // PrintSpeed 7
    std::array<HeadGroup, 8> groups = {};  // resolution classes 225/270 .. 2400/2880
    std::array<std::int8_t, 8> x360_lalign = {}, x360_ralign = {}, x720_lalign = {}, x720_ralign = {};
    std::array<std::uint16_t, 8> vert = {};  // step calibration words, ch0..ch7 order of the answer
    std::uint8_t soften = 0;
    std::array<std::int8_t, 8> channel_ink = {};  // ink (Ink) each channel prints, -1 for none
    std::uint8_t stripe_mode = 0;
    std::uint8_t stripe_size = 0;
};

// `answer` is the full job-create answer (kJobCreateAnswerLength bytes).
HeadSettings ReadHeadSettings(const std::vector<std::uint8_t> &answer);

// Step calibration for a pass count; a stored 0 counts as 1.
std::uint32_t StepCalibration(const HeadSettings &head, std::uint32_t passes);

}  // namespace swathboard
