#include "colour_options.h"

#include <array>
#include <charconv>

namespace frontend {

namespace {

constexpr std::array<std::string_view, 4> kIntentNames = {"perceptual", "relative", "saturation", "absolute"};

bool SetIntent(std::string_view value, ColourOptions *options) {
    for (size_t i = 0; i < kIntentNames.size(); ++i)
        if (kIntentNames[i] == value) return options->intent = static_cast<int>(i), true;
    return false;
}

bool SetInkLimit(std::string_view value, ColourOptions *options) {
    int percent = -1;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), percent);
    if (ec != std::errc() || end != value.data() + value.size() || percent < 0 || percent > 400) return false;
    options->ink_limit_percent = percent;
    return true;
}

}  // namespace

bool IsColourOption(std::string_view name) {
    return name == "--output-profile" || name == "--intent" || name == "--ink-limit";
}

bool SetColourOption(std::string_view name, std::string_view value, ColourOptions *options) {
    if (name == "--output-profile") return !value.empty() && (options->output_profile = value, true);
    if (name == "--intent") return SetIntent(value, options);
    if (name == "--ink-limit") return SetInkLimit(value, options);
    return false;
}

const char *ColourUsageText() {
    return "  --output-profile PATH the printer's CMYK ICC profile (default: Ghostscript's\n"
           "                        default_cmyk.icc); images are taken in their embedded\n"
           "                        profile, else sRGB; CMYK images print as they are unless\n"
           "                        they embed a profile and this option is given\n"
           "  --intent NAME         rendering intent: perceptual (default), relative,\n"
           "                        saturation or absolute\n"
           "  --ink-limit PERCENT   most ink of the four colours together, of 400 (e.g. 280);\n"
           "                        default: no limit\n";
}

}  // namespace frontend
