// Placing the board settings at their bytes of the job-create answer.
#pragma once

#include <cstdint>

#include "swathboard.h"

namespace swathboard {

// Writes every setting of `preset` into `answer` (kJobCreateAnswerLength
// bytes, already zeroed and headed); see ParamPreset for which setting wins
// where two share bytes. Leaves the checksum word alone.
void WriteParamBlock(const ParamPreset &preset, std::uint8_t *answer);

// The selector that reply bytes 1 and 3 carry for this preset.
std::uint16_t LayoutSelector(const ParamPreset &preset);

}  // namespace swathboard
