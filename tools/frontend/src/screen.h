// Error diffusion (serpentine, Floyd-Steinberg weights) of the four ink
// planes to 2-bit dot levels 0..3 or to 1-bit dots, a whole row at a time.
// The planes diffuse independently, so they are screened in parallel: a
// helper thread takes half of them while the caller takes the rest.
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
    // `parallel`: screen half the planes on a helper thread (worth it for
    // wide rows only).
    Screener(uint32_t width, int bits, bool parallel);
    ~Screener();
    Screener(const Screener &) = delete;
    Screener &operator=(const Screener &) = delete;

    // Screens one row: `coverage` holds the Y, M, C, K rows of `width`
    // values 0 (none) to 1 (full); `line` receives kPlanes planes of
    // PlaneBytes() each.
    void ScreenRow(const std::array<const float *, kPlanes> &coverage, uint8_t *line);
    const DotCounts &Dots() const { return dots_; }
    uint32_t Width() const { return width_; }
    int Bits() const { return bits_; }

private:
    void ScreenPlane(int p, const float *coverage, uint8_t *plane);
    void Helper();

    uint32_t width_;
    int bits_;
    uint32_t row_ = 0;
    std::array<std::vector<float>, kPlanes> error_this_, error_next_;
    DotCounts dots_{};

    // The helper's share of a row, handed over under the mutex.
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::array<const float *, kPlanes> *job_coverage_ = nullptr;
    uint8_t *job_line_ = nullptr;
    uint64_t job_ = 0, finished_ = 0;
    bool stop_ = false;
};

}  // namespace frontend
