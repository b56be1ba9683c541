#include "screen.h"

#include <algorithm>
#include <cmath>

namespace frontend {

namespace {

// The error rows carry one guard cell on each side, so the weights may land
// beyond the edge without a test.
constexpr uint32_t kGuard = 1;
constexpr int kOneBitDotLevel = 3;
// The helper takes the planes from this one on.
constexpr int kHelperFirstPlane = 2;

}  // namespace

uint32_t PlaneBytes(uint32_t width, int bits) { return bits == 2 ? (width + 3) / 4 : (width + 7) / 8; }

Screener::Screener(uint32_t width, int bits, bool parallel) : width_(width), bits_(bits) {
    for (int p = 0; p < kPlanes; ++p) {
        error_this_[p].assign(width + 2 * kGuard, 0.0f);
        error_next_[p].assign(width + 2 * kGuard, 0.0f);
    }
    if (parallel) helper_ = std::thread([this] { Helper(); });
}

Screener::~Screener() {
    if (!helper_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    helper_.join();
}

void Screener::ScreenPlane(int p, const float *coverage, uint8_t *plane) {
    const int levels = bits_ == 2 ? 3 : 1;
    const float flevels = static_cast<float>(levels);
    const bool forward = row_ % 2 == 0;
    const int step = forward ? 1 : -1;
    float *here = error_this_[p].data();
    float *below = error_next_[p].data();
    std::array<uint64_t, 4> counts{};
    for (uint32_t i = 0; i < width_; ++i) {
        const uint32_t x = forward ? i : width_ - 1 - i;
        const size_t at = x + kGuard;
        const float want = coverage[x] + here[at];
        const int level = std::clamp(static_cast<int>(std::lround(want * flevels)), 0, levels);
        const float error = want - float(level) / flevels;
        here[at + step] += error * (7.0f / 16);
        below[at - step] += error * (3.0f / 16);
        below[at] += error * (5.0f / 16);
        below[at + step] += error * (1.0f / 16);
        if (level) {
            if (bits_ == 2)
                plane[x / 4] |= static_cast<uint8_t>(level << (6 - 2 * (x % 4)));
            else
                plane[x / 8] |= static_cast<uint8_t>(level << (7 - x % 8));
        }
        ++counts[bits_ == 1 && level ? kOneBitDotLevel : level];
    }
    for (int l = 0; l < 4; ++l) dots_[p][l] += counts[l];
    error_this_[p].swap(error_next_[p]);
    std::fill(error_next_[p].begin(), error_next_[p].end(), 0.0f);
}

void Screener::Helper() {
    uint64_t seen = 0;
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || job_ != seen; });
        if (stop_) return;
        seen = job_;
        const auto &coverage = *job_coverage_;
        uint8_t *line = job_line_;
        lock.unlock();
        const uint32_t bytes = PlaneBytes(width_, bits_);
        for (int p = kHelperFirstPlane; p < kPlanes; ++p)
            ScreenPlane(p, coverage[p], line + size_t(p) * bytes);
        lock.lock();
        finished_ = seen;
        done_.notify_one();
    }
}

void Screener::ScreenRow(const std::array<const float *, kPlanes> &coverage, uint8_t *line) {
    const uint32_t bytes = PlaneBytes(width_, bits_);
    std::fill(line, line + size_t(bytes) * kPlanes, uint8_t{0});
    if (!helper_.joinable()) {
        for (int p = 0; p < kPlanes; ++p) ScreenPlane(p, coverage[p], line + size_t(p) * bytes);
    } else {
        uint64_t job;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_coverage_ = &coverage;
            job_line_ = line;
            job = ++job_;
        }
        wake_.notify_one();
        for (int p = 0; p < kHelperFirstPlane; ++p) ScreenPlane(p, coverage[p], line + size_t(p) * bytes);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return finished_ == job; });
    }
    ++row_;
}

}  // namespace frontend
