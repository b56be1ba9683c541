// Screening of the four ink planes to 2-bit dot levels 0..3 or to 1-bit
// dots, a whole row at a time, with a blue-noise threshold tile: each dot
// compares its coverage with the tile's threshold at its place, so a row is
// a few table reads and compares per dot with no branch and no carry from
// one dot to the next (the loops vectorise), and every level the planes can
// print exactly (0, 1/3, 2/3, 1 at 2 bits) prints as that level everywhere.
// Each plane reads the tile at its own offset, so the inks' dots do not
// pile up on the same places. Since no dot depends on another, a row splits
// into bands of columns that threads screen at once: with `parallel`, a
// helper thread takes the right half of each row, and a caller with threads
// of its own (converting colour too) screens bands itself.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace frontend {

// The host's plane order of a job line.
enum Plane : uint8_t { kY, kM, kC, kK, kPlanes };

// Dots per plane and the level they print at (a 1-bit dot prints at level 3,
// the driver's default dot size).
using DotCounts = std::array<std::array<uint64_t, 4>, kPlanes>;

// Bytes of one plane of one line: 4 dots a byte at 2 bits, 8 at 1 bit,
// leftmost dot in the most significant bits.
uint32_t PlaneBytes(uint32_t width, int bits);

class Screener {
public:
    // `parallel`: screen the right half of each row on a helper thread
    // (worth it for wide rows only).
    Screener(uint32_t width, int bits, bool parallel);
    ~Screener();
    Screener(const Screener &) = delete;
    Screener &operator=(const Screener &) = delete;

    // Screens one row: `coverage` holds the Y, M, C, K rows of `width`
    // values 0 (none) to 1 (full); `line` receives kPlanes planes of
    // PlaneBytes() each.
    void ScreenRow(const std::array<const float *, kPlanes> &coverage, uint8_t *line);

    // Bands start at multiples of this many columns (whole bytes of a line).
    static constexpr uint32_t kBandAlign = 64;
    // Screens the columns [first, end) of the current row, every plane,
    // into their places in `line` (laid out as for ScreenRow), and returns
    // their dots. `first` is a multiple of kBandAlign. Threads may screen
    // disjoint bands of one row at once; when the whole row is screened,
    // EndRow() with the sum of the bands' dots moves on to the next row.
    DotCounts ScreenBand(const std::array<const float *, kPlanes> &coverage, uint8_t *line, uint32_t first,
                         uint32_t end);
    void EndRow(const DotCounts &row_dots);
    const DotCounts &Dots() const { return dots_; }
    uint32_t Width() const { return width_; }
    int Bits() const { return bits_; }

private:
    void ScreenPlane(int p, const float *coverage, uint8_t *plane, uint32_t first, uint32_t end,
                     std::array<uint64_t, 4> *counts);
    void Helper();

    uint32_t width_;
    int bits_;
    uint32_t row_ = 0;
    std::array<std::vector<uint8_t>, kPlanes> levels_;  // one row's dot levels, per plane
    DotCounts dots_{};

    // The helper's share of a row, handed over under the mutex.
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::array<const float *, kPlanes> *job_coverage_ = nullptr;
    uint8_t *job_line_ = nullptr;
    uint32_t job_first_ = 0;
    DotCounts job_dots_{};
    uint64_t job_ = 0, finished_ = 0;
    bool stop_ = false;
};

}  // namespace frontend
