#include "raster_lines.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "resample.h"

namespace frontend {

namespace {

// Rows narrower than this are made faster on one thread than with a
// hand-over.
constexpr uint32_t kParallelScreenWidth = 2048;

struct Line {
    std::vector<uint8_t> bytes;
    DotCounts dots{};
};

// A second thread for the right half of each row: colour conversion and
// screening need nothing from a neighbouring dot, so the two halves of a
// row are made at once on two cores while the reading stays in order on
// the maker's thread.
class Partner {
public:
    Partner() : thread_([this] { Run(); }) {}
    ~Partner() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void Start(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = std::move(job);
        }
        wake_.notify_one();
    }
    // The job handed over is never held up (no reading, no waiting), so
    // this returns as soon as the partner's core has done it.
    void Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return !job_; });
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || job_; });
            if (stop_) return;
            lock.unlock();
            job_();
            lock.lock();
            job_ = nullptr;
            done_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::function<void()> job_;
    bool stop_ = false;
    std::thread thread_;  // last: starts when the rest is ready
};

DotCounts Plus(const DotCounts &a, const DotCounts &b) {
    DotCounts d{};
    for (int p = 0; p < kPlanes; ++p)
        for (int l = 0; l < 4; ++l) d[p][l] = a[p][l] + b[p][l];
    return d;
}

using Clock = std::chrono::steady_clock;

// Moves the split of the next row one band step towards the thread that
// waited: the maker also reads the page, so its half ends up the narrower,
// by however much the reading costs for this page (the output does not
// depend on where the split is).
uint32_t Rebalanced(uint32_t split, uint32_t width, Clock::duration left_took, Clock::duration right_took) {
    constexpr uint32_t kStep = Screener::kBandAlign;
    if (left_took > right_took + right_took / 16 && split >= kStep) return split - kStep;
    if (right_took > left_took + left_took / 16 && split + kStep < width) return split + kStep;
    return split;
}

}  // namespace

// Shared by the maker's thread and the reader, so that a maker left behind
// keeps what it uses.
struct RasterLines::State {
    RasterPlan plan;
    OpenPage open;
    ConvertRow convert;
    uint32_t line_bytes = 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Line> queue;
    std::vector<std::vector<uint8_t>> spare;  // buffers handed back by Next
    bool done = false, stop = false, ended = false;
    std::string error;

    Line Blank() {
        Line line;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!spare.empty()) {
                line.bytes = std::move(spare.back());
                spare.pop_back();
            }
        }
        line.bytes.assign(line_bytes, 0);
        return line;
    }

    // Waits for room in the queue; false when the reader stopped listening.
    bool Push(Line line) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return stop || queue.size() < plan.queue_lines; });
        if (stop) return false;
        queue.push_back(std::move(line));
        changed.notify_all();
        return true;
    }

    bool Stopped() {
        std::lock_guard<std::mutex> lock(mutex);
        return stop;
    }

    // One copy of the page; false when it cannot be read or the reader
    // stopped listening. With a partner, it makes the right half of each
    // row.
    bool MakeCopy(Screener *screener, Partner *partner, std::string *err) {
        std::unique_ptr<PageReader> page = open(err);
        if (!page) return false;
        const uint32_t channels = page->Info().Channels();
        Resampler resampler(page.get(), plan.content_width, plan.content_height);
        std::vector<uint16_t> pixels(size_t(plan.content_width) * channels);
        std::vector<float> coverage(size_t(plan.row_width) * kPlanes, 0.0f);
        std::array<float *, kPlanes> planes;
        std::array<const float *, kPlanes> rows;
        for (int p = 0; p < kPlanes; ++p) rows[p] = planes[p] = &coverage[size_t(p) * plan.row_width];
        // Converts and screens the columns [first, end) of the row in
        // `pixels` into `line`.
        auto band = [&](uint32_t first, uint32_t end, uint8_t *line) {
            const uint32_t from = std::max(first, plan.left);
            const uint32_t to = std::min(end, plan.left + plan.content_width);
            if (from < to)
                convert(pixels.data() + size_t(from - plan.left) * channels, to - from, planes[kY] + from,
                        planes[kM] + from, planes[kC] + from, planes[kK] + from);
            return screener->ScreenBand(rows, line, first, end);
        };
        uint32_t split =
            partner ? plan.row_width / 2 / Screener::kBandAlign * Screener::kBandAlign : plan.row_width;
        for (uint32_t y = 0; y < plan.content_height; ++y) {
            const Clock::time_point start = Clock::now();
            if (!resampler.NextRow(pixels.data(), err)) return false;
            Line line = Blank();
            DotCounts right{};
            Clock::duration right_took{};
            if (partner)
                partner->Start([&] {
                    const Clock::time_point from = Clock::now();
                    right = band(split, plan.row_width, line.bytes.data());
                    right_took = Clock::now() - from;
                });
            const DotCounts left = band(0, split, line.bytes.data());
            if (partner) {
                const Clock::duration left_took = Clock::now() - start;
                partner->Finish();
                split = Rebalanced(split, plan.row_width, left_took, right_took);
            }
            line.dots = Plus(left, right);
            screener->EndRow(line.dots);
            if (!Push(std::move(line))) return false;
        }
        return true;
    }

    bool MakeGap() {
        for (uint32_t g = 0; g < plan.gap_lines; ++g) {
            Line line = Blank();
            for (int p = 0; p < kPlanes; ++p) line.dots[p][0] = plan.row_width;
            if (!Push(std::move(line))) return false;
        }
        return true;
    }

    void Make() {
        Screener screener(plan.row_width, plan.bits, false);
        std::unique_ptr<Partner> partner;
        if (plan.row_width >= kParallelScreenWidth) partner = std::make_unique<Partner>();
        std::string err;
        for (uint32_t copy = 0; copy < plan.copies && !Stopped(); ++copy)
            if ((copy > 0 && !MakeGap()) || !MakeCopy(&screener, partner.get(), &err)) break;
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        error = err;
        changed.notify_all();
    }
};

RasterLines::RasterLines(const RasterPlan &plan, OpenPage open, ConvertRow convert)
    : state_(std::make_shared<State>()) {
    state_->plan = plan;
    state_->open = std::move(open);
    state_->convert = std::move(convert);
    state_->line_bytes = PlaneBytes(plan.row_width, plan.bits) * kPlanes;
    std::thread([state = state_] {
        state->Make();
        std::lock_guard<std::mutex> lock(state->mutex);
        state->ended = true;
        state->changed.notify_all();
    }).detach();
}

RasterLines::~RasterLines() {
    Cancel();
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait_for(lock, kStopWait, [this] { return state_->ended; });
}

void RasterLines::Cancel() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stop = true;
    state_->changed.notify_all();
}

bool RasterLines::Next(std::vector<uint8_t> *bytes, DotCounts *dots) {
    State &s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait(lock, [&s] { return !s.queue.empty() || s.done || s.stop; });
    if (s.queue.empty() || s.stop) return false;
    if (bytes->capacity()) s.spare.push_back(std::move(*bytes));
    *bytes = std::move(s.queue.front().bytes);
    *dots = s.queue.front().dots;
    s.queue.pop_front();
    s.changed.notify_all();
    return true;
}

std::string RasterLines::Error() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->error;
}

}  // namespace frontend
