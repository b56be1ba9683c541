#include "print_run.h"

#include <chrono>
#include <cstdlib>
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

// Hands every raster row to the driver. False when the driver refuses a line
// or the operator aborted.
bool FeedLines(const JobPlan &plan, const Image &image, Controls *controls, Progress *progress,
               RunStats *stats) {
    Separation separation;
    StartSeparation(&image, plan.content_width, plan.height, plan.width, &separation);
    Screen screen;
    StartScreen(plan.width, plan.bits, &screen);
    CoverageRow coverage;
    std::vector<uint8_t> line(size_t(plan.plane_bytes) * kPlanes);
    bool ok = true;
    for (uint32_t y = 0; y < plan.height && ok; ++y) {
        ActBetweenLines(y, controls);
        if (controls->aborted) break;
        SeparateRow(&separation, y, &coverage);
        ScreenRow(coverage, &screen, line.data());
        ok = controls->driver->PrintALine(line.data(), static_cast<uint32_t>(line.size())) == 1;
        if (ok) progress->lines.store(y + 1);
        if (!ok && Interrupted()) controls->aborted = true;  // the interrupt's abort refused the line
    }
    if (ok && !controls->aborted) ActBetweenLines(plan.height, controls);
    stats->lines = progress->lines.load();
    stats->dots = screen.dots;
    return ok && !controls->aborted;
}

}  // namespace

double TimeScale() {
    const char *v = std::getenv("SWATHLINK_TIME_SCALE");
    const double s = v ? std::atof(v) : 1.0;
    return s > 0 ? s : 1.0;
}

Exit RunJob(const Driver &driver, const JobPlan &plan, const Image &image, const Options &options,
            std::function<int64_t()> swaths, RunStats *stats, std::string *error) {
    const std::string board = options.board.empty() ? options.emulator_ip : options.board;
    driver.InitPrinter();
    Progress progress;
    StartProgress(plan.height, std::move(swaths), &progress);
    if (driver.StartPrint(&plan.prop) != 1) {
        StopProgress(&progress);
        driver.ClosePrint();
        *error = "the board at " + board + " did not take the job (not reachable, or it refused the job)";
        return kExitBoard;
    }
    Controls controls;
    controls.driver = &driver;
    controls.pause_after = options.pause_after;
    controls.abort_after = options.abort_after;
    const bool fed = FeedLines(plan, image, &controls, &progress, stats);
    if (fed) driver.EndPrint();
    const bool closed = driver.ClosePrint() == 1;
    if (controls.resume.joinable()) controls.resume.join();
    StopProgress(&progress);
    stats->seconds = SecondsSince(progress.start);
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
