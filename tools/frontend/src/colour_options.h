// The colour options of a front end's command line, for its own parser.
#pragma once

#include <string_view>

#include "colour.h"

namespace frontend {

// --output-profile PATH, --intent perceptual|relative|saturation|absolute,
// --ink-limit PERCENT (1 to 400; 0 for none). All take a value.
bool IsColourOption(std::string_view name);
// False when `value` is not a valid value for the option `name`.
bool SetColourOption(std::string_view name, std::string_view value, ColourOptions *options);
// The usage lines of the colour options, in the layout of swathprint's --help.
const char *ColourUsageText();

}  // namespace frontend
