// Command-line options of the swathboard program.
#pragma once

#include <cstdint>
#include <string>

#include "swathboard.h"

namespace swathboard {

struct CliOptions {
    BoardConfig config;
    bool help = false;
    bool version = false;
    std::string sheet_path;    // --sheet: PNG of the printed sheet, written at stop
    std::string summary_path;  // --summary: its totals as JSON
    std::uint32_t image_width = 0, image_height = 0, image_xdpi = 0;  // --image WxH[@XDPI]
    std::uint32_t preview_scale = 1;                                  // --preview-scale N
};

// False with a message in *error for unknown flags, bad values or an
// address outside 127.0.0.0/8.
bool ParseCli(int argc, const char *const *argv, CliOptions *options, std::string *error);
const char *CliUsage();

}  // namespace swathboard
