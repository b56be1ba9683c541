// The printed sheet as a PNG, written a row at a time: the inks composited
// on white, at zlib's fastest level (a sheet is large and mostly white), with
// the print resolution in its pHYs chunk. Where XDPI and YDPI differ by a
// whole factor up to 8, each dot repeats along the coarser axis so the
// picture keeps the printed proportions (360 x 720 dpi: every column twice).
// A preview scale N makes the picture N times smaller each way, each pixel
// the mean of N x N dots.
//
// The file is written under a temporary name and renamed when finished; a
// writer dropped unfinished removes it, so no half-written sheet is left.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace swathboard {

// One sheet pixel packs the levels 0..3 of the four inks: K in bits 0-1, C in
// 2-3, M in 4-5, Y in 6-7 (the Ink order of swathboard.h).
inline std::uint8_t PackedLevel(std::uint8_t pixel, unsigned ink) { return (pixel >> (2 * ink)) & 3; }
inline std::uint8_t WithLevel(std::uint8_t pixel, unsigned ink, unsigned level) {
    return static_cast<std::uint8_t>(pixel | (level << (2 * ink)));
}

struct SheetPngShape {
    std::uint32_t width = 0, height = 0;  // dots
    std::uint32_t xdpi = 0, ydpi = 0;     // 0: unknown (no pHYs, no stretch)
    std::uint32_t preview_scale = 1;
};

class SheetPng {
public:
    SheetPng();
    ~SheetPng();
    SheetPng(const SheetPng &) = delete;
    SheetPng &operator=(const SheetPng &) = delete;

    // Creates the temporary file, so that a path that cannot be written is
    // found before anything is printed.
    bool Open(const std::string &path, std::string *error);
    // Writes the header: the picture's size and resolution.
    bool Start(const SheetPngShape &shape, std::string *error);
    // The next row of `width` packed pixels.
    bool AddRow(const std::uint8_t *pixels, std::string *error);
    // Blank rows to the sheet's height, then the file is closed and renamed.
    bool Finish(std::string *error);
    std::uint32_t RowsAdded() const { return rows_; }

    struct Png;  // libpng's state

private:
    bool EmitRow(std::string *error);
    void Abandon();

    std::string path_, temp_;
    SheetPngShape shape_;
    std::uint32_t across_ = 1, down_ = 1;  // repeats that keep the proportions
    std::uint32_t rows_ = 0;
    std::FILE *file_ = nullptr;
    std::unique_ptr<Png> png_;
    std::vector<std::uint32_t> sums_;  // RGB sums of the preview row being gathered
    std::vector<std::uint8_t> out_;    // one picture row
};

}  // namespace swathboard
