// Helpers of the swathprint tests: a private folder, running the program
// with a time limit, writing test images.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image.h"
#include "raster.h"

namespace swathprint::test {

struct TempDir {
    TempDir();
    ~TempDir();
    std::string Path(const std::string &name) const { return root + "/" + name; }
    std::vector<std::string> Files() const;  // names in the folder, sorted
    std::string root;
};

struct ProgramRun {
    int exit_code = -1;  // 124: the time limit ended it
    std::string out, err;
    long peak_kb = 0;  // peak resident memory (RunWatched only)
};

// How RunWatched runs a program.
struct Watch {
    std::vector<double> interrupts_s;  // SIGINT at these times after the start
    std::string tmpdir;                // the program's TMPDIR; empty: as inherited
    std::string time_scale = "0.01";   // its SWATHLINK_TIME_SCALE
    double limit_s = 90;               // then SIGKILL (exit code 124)
};
// Runs `program` itself (no timeout(1) between, so the interrupts reach it
// alone) and reports its peak resident memory.
ProgramRun RunWatched(const std::string &program, const std::vector<std::string> &args, const Watch &watch);

// Runs `program` with `args` (and SWATHLINK_TIME_SCALE=0.01), at most
// `limit_s` seconds; stdout and stderr go to files, never to a terminal.
ProgramRun RunProgram(const std::string &program, const std::vector<std::string> &args, int limit_s = 90);
// The same, interrupted (SIGINT) after `interrupt_s` seconds if it is still
// running then.
ProgramRun RunInterrupted(const std::string &program, const std::vector<std::string> &args, int interrupt_s);
// The same under a pseudo-terminal (script(1)): both streams come back in
// `out`.
ProgramRun RunOnTerminal(const std::string &program, const std::vector<std::string> &args, int limit_s = 90);

// A width x height image of one colour (samples in the model's coding).
Image FlatImage(ColorModel model, uint32_t width, uint32_t height, std::vector<uint16_t> sample);
// An image with something different in every row and column: a mix of
// ramps and stripes, in the model's coding.
Image PatternImage(ColorModel model, uint32_t width, uint32_t height);

// Separates and screens a whole image as the program does (`content_width`
// dots of image in rows `width` wide, through the front end's raster
// lines); returns each plane's dots as they were packed: a level 0..3 at 2
// bits, 0 or 1 at 1 bit. `dots` receives the dot counts.
std::array<std::vector<uint8_t>, kPlanes> ScreenImage(const Image &image, uint32_t content_width,
                                                      uint32_t width, uint32_t height, int bits,
                                                      DotCounts *dots);
// The colour conversion the program uses for `image` with no colour option.
frontend::ConvertRow DefaultConversion(const Image &image);
// Unpacks one screened line into dot levels per plane.
void UnpackLine(const uint8_t *line, uint32_t width, int bits,
                std::array<std::vector<uint8_t>, kPlanes> *levels);

struct TiffForm {
    int bits = 8;               // 1, 8 or 16
    bool min_is_white = false;  // grey only
    bool separate_planes = false;
};
void WriteTiff(const std::string &path, const Image &image, const TiffForm &form);

std::string ReadText(const std::string &path);
std::vector<uint8_t> ReadBytes(const std::string &path);
void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes);
std::string LastLine(const std::string &text);

}  // namespace swathprint::test
