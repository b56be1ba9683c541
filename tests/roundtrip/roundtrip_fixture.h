// A job printed through the eleven entry points to the board emulator, and
// the emulator's printed sheet compared with the job's raster.
#pragma once

#include <functional>
#include <random>
#include <string>

#include "e2e/board_fixture.h"
#include "roundtrip/raster.h"
#include "swathboard.h"

namespace sl::roundtrip {

// Head settings a board may hold: everything that places dots.
struct HeadChoice {
    uint8_t soften = 0;  // feathering family and band
    bool bidirectional = false;
    uint8_t stripe_mode = 0;     // bit 0 end stripe, bit 1 start stripe
    uint8_t stripe_size = 0x12;  // 2 mm stripes, 1 mm gaps
    bool older_block = false;    // a board that answers with the older parameter layout
    bool random_feed = false;    // step calibration values drawn at random, else 35860
};

// A head with alignment errors, group distances, bidirectional values and
// a channel wiring drawn at random within what real heads need, and step
// calibration values of 35860 (a step is one 2880th of an inch) or drawn at
// random. An older block carries only the group bases, one bidirectional
// value and one step calibration (no soften, stripes or map).
swathboard::ParamPreset RandomHead(const HeadChoice &choice, std::mt19937 *rng);

// How far the paper may stand from a whole line, in 1/1000 line, on a board
// with these settings: half the largest step (the host rounds each position
// to a whole step), or nothing when every step is a whole number of lines.
uint32_t FeedToleranceMillilines(const swathboard::ParamPreset &preset, uint32_t ydpi);

// Dots of the start and end stripes the job's settings ask for.
uint64_t StripeDots(const RasterShape &shape, const HeadChoice &choice);

// Pixels where the sheet differs from the raster, with the first few named.
struct SheetDiff {
    uint64_t pixels = 0;
    std::string first;
};
SheetDiff CompareSheet(const swathboard::Sheet &sheet, const Raster &raster);

class RoundtripTest : public sl::test::BoardTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the board at `ip`, frames its sheet for `raster` and starts the
    // job (InitPrinter, StartPrint).
    void StartJob(const std::string &ip, const swathboard::BoardConfig &config, const Raster &raster);
    // Starts the board at `ip` and prints `raster` through InitPrinter,
    // StartPrint, PrintALine per line, EndPrint and ClosePrint; `mid_job`
    // runs once two thirds of the lines are handed over. Fails the test on any
    // call that does not return 1.
    void PrintThrough(const std::string &ip, const swathboard::BoardConfig &config, const Raster &raster,
                      const std::function<void()> &mid_job = {});
    // The board's sheet of the job; fails the test when there is none.
    swathboard::Sheet PrintedSheet();
};

}  // namespace sl::roundtrip
