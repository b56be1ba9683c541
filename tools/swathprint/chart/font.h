// The chart's label font.
#pragma once

#include <cstdint>

namespace swathchart {

constexpr int kGlyphColumns = 5;
constexpr int kGlyphRows = 7;

// The seven rows of a character, or nullptr for one drawn blank.
const uint8_t *GlyphRows(char ch);

}  // namespace swathchart
