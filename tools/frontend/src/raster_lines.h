// A job's raster lines made ahead of the printer: a thread of its own reads
// the page, resamples it to the print grid, converts each row to ink
// coverage and screens it (on wide rows with a second thread making the
// right half of each row), and keeps a bounded queue of finished lines for
// the thread that hands them to the driver.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pages.h"
#include "screen.h"

namespace frontend {

// Where the page goes on the job's lines, in dots.
struct RasterPlan {
    uint32_t content_width = 0;   // dots the page covers across
    uint32_t content_height = 0;  // lines one copy covers
    uint32_t row_width = 0;       // dots a line holds (blank beyond the content)
    uint32_t left = 0;            // blank dots before the content
    int bits = 2;                 // 1 or 2 bits a dot
    uint32_t copies = 1;          // copies of the page, one after the other
    uint32_t gap_lines = 0;       // blank lines between two copies
    size_t queue_lines = 256;     // finished lines kept ahead at most

    uint32_t Lines() const { return copies * content_height + (copies - 1) * gap_lines; }
};

// Ink coverage 0..1 of `n` resampled pixels, per plane (Y, M, C, K).
using ConvertRow =
    std::function<void(const uint16_t *pixels, uint32_t n, float *y, float *m, float *c, float *k)>;
// Opens the page (again, for every copy); null with one sentence in *error.
using OpenPage = std::function<std::unique_ptr<PageReader>(std::string *error)>;

class RasterLines {
public:
    RasterLines(const RasterPlan &plan, OpenPage open, ConvertRow convert);
    // Stops the thread, abandoning what it has not made. A thread held up in
    // a read that does not return (a pipe whose writer stalls) is waited for
    // at most kStopWait, then left to end on its own: it owns all it uses.
    ~RasterLines();
    RasterLines(const RasterLines &) = delete;
    RasterLines &operator=(const RasterLines &) = delete;

    // The next line into *line (kPlanes planes of PlaneBytes() each; the
    // vector given is recycled) and its dots per plane and level. False
    // after the last line, after Cancel(), or when the page could not be
    // read (Error()).
    bool Next(std::vector<uint8_t> *line, DotCounts *dots);
    // Makes Next() return false at once, from any thread.
    void Cancel();
    // One sentence when reading the page failed, else empty.
    std::string Error() const;

    static constexpr std::chrono::milliseconds kStopWait{2000};

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace frontend
