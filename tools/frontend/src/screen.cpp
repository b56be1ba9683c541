#include "screen.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace frontend {

namespace {

// The threshold tile: kTile x kTile thresholds in (0, 1), each value once,
// arranged as blue noise (void and cluster: every next threshold goes to
// the largest hole left by the ones before), so any coverage gives dots
// spread evenly with no visible pattern, and the tile repeats unseen.
constexpr uint32_t kTile = 64;
constexpr uint32_t kCells = kTile * kTile;
constexpr double kSigma = 1.5;  // of the Gaussian that measures crowding
constexpr uint32_t kSeedDots = kCells / 10;

constexpr int kOneBitDotLevel = 3;
// Where each plane (Y, M, C, K) reads the tile: apart, so that two inks at
// the same coverage do not put their dots on the same places.
constexpr uint32_t kPlaneShift[kPlanes][2] = {{0, 0}, {23, 41}, {45, 13}, {11, 29}};

// How crowded each cell of the tile is by the dots placed so far: a sum of
// Gaussians around them over the whole tile, wrapping at its edges as the
// tile repeats. Kept in double: light tints place dots far apart, where the
// Gaussian's tail is all that tells two holes apart.
class Crowding {
public:
    Crowding() : energy_(kCells, 0.0), weight_(kCells), dot_(kCells, false), order_(kCells) {
        for (uint32_t dy = 0; dy < kTile; ++dy)
            for (uint32_t dx = 0; dx < kTile; ++dx) {
                const double ax = std::min(dx, kTile - dx), ay = std::min(dy, kTile - dy);
                weight_[dy * kTile + dx] = std::exp(-(ax * ax + ay * ay) / (2 * kSigma * kSigma));
            }
        // Cells are searched in a shuffled order, so that equally crowded
        // cells are not taken row by row (which lines the dots up).
        for (uint32_t c = 0; c < kCells; ++c) order_[c] = c;
        std::mt19937 random(4093);
        for (uint32_t c = kCells - 1; c > 0; --c) std::swap(order_[c], order_[random() % (c + 1)]);
    }
    bool Dot(uint32_t cell) const { return dot_[cell]; }
    void Set(uint32_t cell, bool dot) {
        dot_[cell] = dot;
        const double sign = dot ? 1.0 : -1.0;
        const uint32_t cx = cell % kTile, cy = cell / kTile;
        for (uint32_t y = 0; y < kTile; ++y) {
            const double *w = &weight_[((y - cy) % kTile) * kTile];
            double *e = &energy_[y * kTile];
            for (uint32_t x = 0; x < kTile; ++x) e[x] += sign * w[(x - cx) % kTile];
        }
    }
    // The most crowded dot, or the emptiest hole.
    uint32_t Tightest() const { return Extreme(true); }
    uint32_t Emptiest() const { return Extreme(false); }

private:
    uint32_t Extreme(bool dots) const {
        uint32_t best = kCells;
        for (const uint32_t c : order_)
            if (dot_[c] == dots &&
                (best == kCells || (dots ? energy_[c] > energy_[best] : energy_[c] < energy_[best])))
                best = c;
        return best;
    }
    std::vector<double> energy_, weight_;
    std::vector<bool> dot_;
    std::vector<uint32_t> order_;
};

// Ranks 0..kCells-1 of the tile's cells: the order in which dots appear as
// coverage rises.
std::vector<uint32_t> BlueNoiseRanks() {
    Crowding seed;
    std::mt19937 random(1791);  // fixed: the same tile in every run
    for (uint32_t placed = 0; placed < kSeedDots;) {
        const uint32_t cell = random() % kCells;
        if (!seed.Dot(cell)) seed.Set(cell, true), ++placed;
    }
    // Even out the seed: move the most crowded dot to the emptiest hole
    // until that hole is where the dot came from (within a few passes over
    // the seed; the bound only guards against a cycle of equal moves).
    for (uint32_t move = 0; move < 4 * kCells; ++move) {
        const uint32_t from = seed.Tightest();
        seed.Set(from, false);
        const uint32_t to = seed.Emptiest();
        seed.Set(to, true);
        if (to == from) break;
    }
    std::vector<uint32_t> rank(kCells);
    Crowding fewer = seed;
    for (uint32_t r = kSeedDots; r-- > 0;) {
        const uint32_t cell = fewer.Tightest();
        fewer.Set(cell, false);
        rank[cell] = r;
    }
    for (uint32_t r = kSeedDots; r < kCells; ++r) {
        const uint32_t cell = seed.Emptiest();
        seed.Set(cell, true);
        rank[cell] = r;
    }
    return rank;
}

// The tile's thresholds, row by row, each row twice over so that any
// kTile cells from any start are contiguous.
const std::vector<float> &Thresholds() {
    static const std::vector<float> table = [] {
        const std::vector<uint32_t> rank = BlueNoiseRanks();
        std::vector<float> t(2 * kCells);
        for (uint32_t y = 0; y < kTile; ++y)
            for (uint32_t x = 0; x < kTile; ++x)
                t[y * 2 * kTile + x] = t[y * 2 * kTile + x + kTile] =
                    (float(rank[y * kTile + x]) + 0.5f) / kCells;
        return t;
    }();
    return table;
}

static_assert(Screener::kBandAlign % kTile == 0, "bands start at the same place in the tile");

// The column where the helper's half of a row starts.
uint32_t HalfRow(uint32_t width) { return width / 2 / Screener::kBandAlign * Screener::kBandAlign; }

// Dot levels 0..`top` of `n` dots: the coverage's share of the step between
// two levels against the threshold. Coverage outside 0..1 counts as 0 or 1.
void Levels(const float *__restrict coverage, const float *__restrict thresholds, uint32_t n, float top,
            uint8_t *__restrict levels) {
    for (uint32_t x = 0; x < n; ++x) {
        const float c = std::min(1.0f, std::max(0.0f, coverage[x]));
        levels[x] = static_cast<uint8_t>(static_cast<int>(c * top + thresholds[x]));
    }
}

// Packs `n` levels four dots a byte (2 bits) or eight (1 bit), leftmost
// first; every byte written whole (a last part byte padded with 0).
void Pack(const uint8_t *__restrict levels, uint32_t n, int bits, uint8_t *__restrict plane) {
    const uint32_t per_byte = bits == 2 ? 4 : 8, whole = n / per_byte;
    if (bits == 2) {
        for (uint32_t b = 0; b < whole; ++b) {
            const uint8_t *l = levels + 4 * b;
            plane[b] = static_cast<uint8_t>(l[0] << 6 | l[1] << 4 | l[2] << 2 | l[3]);
        }
    } else {
        for (uint32_t b = 0; b < whole; ++b) {
            const uint8_t *l = levels + 8 * b;
            plane[b] = static_cast<uint8_t>(l[0] << 7 | l[1] << 6 | l[2] << 5 | l[3] << 4 | l[4] << 3 |
                                            l[5] << 2 | l[6] << 1 | l[7]);
        }
    }
    if (whole * per_byte == n) return;
    uint8_t last = 0;
    for (uint32_t x = whole * per_byte; x < n; ++x)
        last |= static_cast<uint8_t>(levels[x] << (8 - bits - bits * (x % per_byte)));
    plane[whole] = last;
}

// How many of `n` levels are 0, 1, 2 and 3.
std::array<uint64_t, 4> Count(const uint8_t *levels, uint32_t n) {
    uint32_t ones = 0, twos = 0, threes = 0;
    for (uint32_t x = 0; x < n; ++x) {
        ones += levels[x] == 1;
        twos += levels[x] == 2;
        threes += levels[x] == 3;
    }
    return {n - ones - twos - threes, ones, twos, threes};
}

}  // namespace

uint32_t PlaneBytes(uint32_t width, int bits) { return bits == 2 ? (width + 3) / 4 : (width + 7) / 8; }

Screener::Screener(uint32_t width, int bits, bool parallel) : width_(width), bits_(bits) {
    Thresholds();  // made once, before any row needs it
    for (auto &levels : levels_) levels.assign(width, 0);
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

void Screener::ScreenPlane(int p, const float *coverage, uint8_t *plane, uint32_t first, uint32_t end,
                           std::array<uint64_t, 4> *counts) {
    const float top = bits_ == 2 ? 3.0f : 1.0f;
    const uint32_t tile_row = (row_ + kPlaneShift[p][1]) % kTile;
    // `first` is a multiple of the tile's width: every band starts at the
    // same place in the tile.
    const float *thresholds = Thresholds().data() + tile_row * 2 * kTile + kPlaneShift[p][0];
    uint8_t *levels = levels_[p].data();
    uint32_t x = first;
    for (; x + kTile <= end; x += kTile) Levels(coverage + x, thresholds, kTile, top, levels + x);
    Levels(coverage + x, thresholds, end - x, top, levels + x);
    Pack(levels + first, end - first, bits_, plane + first * bits_ / 8);
    const std::array<uint64_t, 4> c = Count(levels + first, end - first);
    // A 1-bit dot prints at the driver's default size.
    if (bits_ == 1)
        (*counts)[0] += c[0], (*counts)[kOneBitDotLevel] += c[1];
    else
        for (int l = 0; l < 4; ++l) (*counts)[l] += c[l];
}

DotCounts Screener::ScreenBand(const std::array<const float *, kPlanes> &coverage, uint8_t *line,
                               uint32_t first, uint32_t end) {
    const uint32_t bytes = PlaneBytes(width_, bits_);
    DotCounts dots{};
    for (int p = 0; p < kPlanes; ++p)
        ScreenPlane(p, coverage[p], line + size_t(p) * bytes, first, end, &dots[p]);
    return dots;
}

void Screener::EndRow(const DotCounts &row_dots) {
    for (int p = 0; p < kPlanes; ++p)
        for (int l = 0; l < 4; ++l) dots_[p][l] += row_dots[p][l];
    ++row_;
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
        const uint32_t first = job_first_;
        lock.unlock();
        const DotCounts dots = ScreenBand(coverage, line, first, width_);
        lock.lock();
        job_dots_ = dots;
        finished_ = seen;
        done_.notify_one();
    }
}

void Screener::ScreenRow(const std::array<const float *, kPlanes> &coverage, uint8_t *line) {
    if (!helper_.joinable()) {
        EndRow(ScreenBand(coverage, line, 0, width_));
        return;
    }
    const uint32_t half = HalfRow(width_);
    uint64_t job;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_coverage_ = &coverage;
        job_line_ = line;
        job_first_ = half;
        job = ++job_;
    }
    wake_.notify_one();
    DotCounts dots = ScreenBand(coverage, line, 0, half);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return finished_ == job; });
    for (int p = 0; p < kPlanes; ++p)
        for (int l = 0; l < 4; ++l) dots[p][l] += job_dots_[p][l];
    lock.unlock();
    EndRow(dots);
}

}  // namespace frontend
