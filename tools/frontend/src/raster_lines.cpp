#include "raster_lines.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "resample.h"

namespace frontend {

namespace {

// Rows narrower than this screen faster on one thread than with a hand-over.
constexpr uint32_t kParallelScreenWidth = 2048;

DotCounts Minus(const DotCounts &a, const DotCounts &b) {
    DotCounts d{};
    for (int p = 0; p < kPlanes; ++p)
        for (int l = 0; l < 4; ++l) d[p][l] = a[p][l] - b[p][l];
    return d;
}

struct Line {
    std::vector<uint8_t> bytes;
    DotCounts dots{};
};

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
    // stopped listening.
    bool MakeCopy(Screener *screener, std::string *err) {
        std::unique_ptr<PageReader> page = open(err);
        if (!page) return false;
        const uint32_t channels = page->Info().Channels();
        Resampler resampler(page.get(), plan.content_width, plan.content_height);
        std::vector<uint16_t> pixels(size_t(plan.content_width) * channels);
        std::vector<float> coverage(size_t(plan.row_width) * kPlanes, 0.0f);
        std::array<float *, kPlanes> planes;
        std::array<const float *, kPlanes> rows;
        for (int p = 0; p < kPlanes; ++p) rows[p] = planes[p] = &coverage[size_t(p) * plan.row_width];
        for (uint32_t y = 0; y < plan.content_height; ++y) {
            if (!resampler.NextRow(pixels.data(), err)) return false;
            const uint32_t at = plan.left;
            convert(pixels.data(), plan.content_width, planes[kY] + at, planes[kM] + at, planes[kC] + at,
                    planes[kK] + at);
            Line line = Blank();
            const DotCounts before = screener->Dots();
            screener->ScreenRow(rows, line.bytes.data());
            line.dots = Minus(screener->Dots(), before);
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
        Screener screener(plan.row_width, plan.bits, plan.row_width >= kParallelScreenWidth);
        std::string err;
        for (uint32_t copy = 0; copy < plan.copies && !Stopped(); ++copy)
            if ((copy > 0 && !MakeGap()) || !MakeCopy(&screener, &err)) break;
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
