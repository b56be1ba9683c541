// The command line of swathprint.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "colour.h"

namespace swathprint {

// Exit codes, one per kind of failure.
enum Exit : int {
    kExitOk = 0,
    kExitUsage = 2,    // bad option, unsupported resolution or mode
    kExitInput = 3,    // unreadable, damaged or truncated image
    kExitTooWide = 4,  // the raster does not fit the head's swath plan
    kExitBoard = 5,    // board unreachable, or it refused the job
    kExitAborted = 6,  // stopped by --abort-after or an interrupt
    kExitSetup = 7,    // driver not loadable, files not writable
    // The job did not print completely, though the host did not abort it:
    kExitCancelled = 8,      // cancelled at the printer
    kExitBoardStopped = 9,   // stopped by the board (or, with --board, cancelled there)
    kExitNotDelivered = 10,  // not every swath reached the board
};

// Drop volume in picolitres of the 2-bit dot levels 1, 2 and 3.
constexpr std::array<double, 3> kDefaultDropPl = {4.0, 8.0, 12.0};
constexpr const char *kDefaultEmulatorIp = "127.0.0.160";

struct Options {
    std::string input;
    std::string output;  // empty: <input>.printed.png
    uint32_t xdpi = 720;
    uint32_t ydpi = 720;
    double width_mm = 0;  // 0: from the image's resolution
    int bits = 0;         // 0: 1 for a bilevel image, else 2
    std::string board;    // empty: the built-in emulator
    std::string pc = "127.0.0.1";
    std::string emulator_ip = kDefaultEmulatorIp;
    std::string board_preset = "new";
    bool bidirectional = false;
    std::array<double, 3> drop_pl = kDefaultDropPl;
    int64_t pause_after = -1;  // lines; -1 = never
    int64_t abort_after = -1;
    std::string library;
    // Documents and layout.
    uint32_t page = 0;    // 1-based; 0: every page, each its own job
    int rotate = 0;       // clockwise: 0, 90, 180 or 270
    bool mirror = false;  // left to right, after turning
    uint32_t copies = 1;
    double gap_mm = -1;    // < 0: each copy its own job; else one job, copies this far apart
    double margin_mm = 0;  // blank left of the image on the media
    // The emulator's sheet N times smaller each way.
    uint32_t preview_scale = 1;
    frontend::ColourOptions colour;
    bool help = false;
    bool version = false;
};

// False, with one sentence in *error, for a bad command line.
bool ParseOptions(int argc, char **argv, Options *options, std::string *error);
const char *UsageText();

}  // namespace swathprint
