// Turning and mirroring a page on its way to the print grid.
#pragma once

#include <memory>
#include <string>

#include "pages.h"

namespace frontend {

// A page turned clockwise by `degrees` (0, 90, 180 or 270) and then, with
// `mirror`, flipped left to right. Turning needs the page's last row
// before its first output row, so a turned page is first copied as it is
// read into an anonymous temporary file (width x height x samples x 2 bytes
// of disk, nothing left behind) and read back from there; memory stays at
// a band of columns (at most kBandBytes) for 90 and 270, a row for 180.
// Mirroring alone needs one row. `page` is owned by the result.
std::unique_ptr<PageReader> Orient(std::unique_ptr<PageReader> page, int degrees, bool mirror);

constexpr size_t kBandBytes = 64u << 20;

}  // namespace frontend
