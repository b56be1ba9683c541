#include "print_run.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "interrupt.h"
#include "progress.h"

namespace swathprint {

namespace {

constexpr double kPauseSeconds = 2.0;

// The operator's controls, acted on between lines.
struct Controls {
    const Driver *driver = nullptr;
    int64_t pause_after = -1;
    int64_t abort_after = -1;
    std::thread resume;  // continues the job a moment after the pause
    bool aborted = false;
};

void Abort(Controls *c) {
    c->driver->AbortPrint();
    c->aborted = true;
}

void ActBetweenLines(uint64_t lines, Controls *c) {
    if (c->pause_after >= 0 && lines == uint64_t(c->pause_after) && !c->resume.joinable()) {
        c->driver->PausePrint();
        const auto wait = std::chrono::duration<double>(kPauseSeconds * TimeScale());
        const Driver *driver = c->driver;
        c->resume = std::thread([driver, wait] {
            std::this_thread::sleep_for(wait);
            driver->ContinuePrint();
        });
    }
    if (c->abort_after >= 0 && lines == uint64_t(c->abort_after)) Abort(c);
    // Again here: an interrupt while the job was being opened was cleared
    // with the job's flags.
    if (Interrupted() && !c->aborted) Abort(c);
}

void Add(const DotCounts &line, DotCounts *total) {
    for (int p = 0; p < kPlanes; ++p)
        for (int l = 0; l < 4; ++l) (*total)[p][l] += line[p][l];
}

// Hands every raster line to the driver as the front end makes it. False
// when the driver refuses a line, the page cannot be read (*read_error) or
// the operator aborted.
bool FeedLines(const JobPlan &plan, frontend::RasterLines *lines, Controls *controls, Progress *progress,
               RunStats *stats, std::string *read_error) {
    std::vector<uint8_t> line;
    DotCounts dots{};
    bool ok = true;
    for (uint32_t y = 0; y < plan.height && ok; ++y) {
        ActBetweenLines(y, controls);
        if (controls->aborted) break;
        if (!lines->Next(&line, &dots)) {
            if (Interrupted()) {
                controls->aborted = true;
                break;
            }
            *read_error = lines->Error();
            if (read_error->empty()) *read_error = "the page ended early";
            controls->driver->AbortPrint();
            return false;
        }
        ok = controls->driver->PrintALine(line.data(), static_cast<uint32_t>(line.size())) == 1;
        if (ok) {
            progress->lines.store(y + 1);
            Add(dots, &stats->dots);
        }
        if (!ok && Interrupted()) controls->aborted = true;  // the interrupt's abort refused the line
    }
    if (ok && !controls->aborted) ActBetweenLines(plan.height, controls);
    stats->lines = progress->lines.load();
    return ok && !controls->aborted;
}

// The lines of the running job, for StopMakingLines.
std::mutex g_running_mutex;
frontend::RasterLines *g_running = nullptr;

void SetRunning(frontend::RasterLines *lines) {
    std::lock_guard<std::mutex> lock(g_running_mutex);
    g_running = lines;
}

}  // namespace

void StopMakingLines() {
    std::lock_guard<std::mutex> lock(g_running_mutex);
    if (g_running) g_running->Cancel();
}

double TimeScale() {
    const char *v = std::getenv("SWATHLINK_TIME_SCALE");
    const double s = v ? std::atof(v) : 1.0;
    return s > 0 ? s : 1.0;
}

Exit RunJob(const Driver &driver, const JobPlan &plan, frontend::OpenPage open, frontend::ConvertRow convert,
            const Options &options, std::function<int64_t()> swaths, RunStats *stats, std::string *error) {
    const std::string board = options.board.empty() ? options.emulator_ip : options.board;
    // The lines are made from now on, while the driver opens the job.
    auto lines = std::make_unique<frontend::RasterLines>(plan.Raster(), std::move(open), std::move(convert));
    SetRunning(lines.get());
    if (Interrupted()) lines->Cancel();
    driver.InitPrinter();
    Progress progress;
    StartProgress(plan.height, std::move(swaths), &progress);
    if (driver.StartPrint(&plan.prop) != 1) {
        SetRunning(nullptr);
        StopProgress(&progress);
        driver.ClosePrint();
        *error = "the board at " + board + " did not take the job (not reachable, or it refused the job)";
        return kExitBoard;
    }
    Controls controls;
    controls.driver = &driver;
    controls.pause_after = options.pause_after;
    controls.abort_after = options.abort_after;
    std::string read_error;
    const bool fed = FeedLines(plan, lines.get(), &controls, &progress, stats, &read_error);
    SetRunning(nullptr);
    lines.reset();
    if (fed) driver.EndPrint();
    const bool closed = driver.ClosePrint() == 1;
    if (controls.resume.joinable()) controls.resume.join();
    StopProgress(&progress);
    stats->seconds = SecondsSince(progress.start);
    if (!read_error.empty()) {
        *error = read_error + " (the job was aborted after " + std::to_string(stats->lines) + " lines)";
        return kExitInput;
    }
    if (controls.aborted || Interrupted()) {
        *error = "aborted after " + std::to_string(stats->lines) + " lines, as " +
                 (Interrupted() ? "the interrupt" : "--abort-after") + " asked";
        return kExitAborted;
    }
    // The driver refuses lines once the board has stopped the job; a stop
    // after the last line, or swaths that never arrived, ClosePrint reports.
    if (!fed) {
        *error = "stopped by the board after " + std::to_string(stats->lines) + " lines";
        return kExitBoardStopped;
    }
    if (!closed) {
        *error = "not delivered: not every swath reached the board, the job did not print completely";
        return kExitNotDelivered;
    }
    return kExitOk;
}

}  // namespace swathprint
