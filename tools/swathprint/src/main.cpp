// swathprint: prints an image through the swathlink driver and shows the
// sheet the printer would print.
#include <cstdio>
#include <string>

#include "driver.h"
#include "image.h"
#include "interrupt.h"
#include "job_plan.h"
#include "options.h"
#include "print_run.h"
#include "session.h"
#include "summary.h"
#include "swathlink_version.h"

namespace swathprint {

namespace {

int Fail(Exit code, const std::string &message) {
    std::fprintf(stderr, "swathprint: %s\n", message.c_str());
    return code;
}

// IMAGE.printed.png beside the image (its extension replaced).
std::string DefaultOutput(const std::string &input) {
    const size_t slash = input.rfind('/');
    const size_t dot = input.rfind('.');
    const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (has_ext ? input.substr(0, dot) : input) + ".printed.png";
}

// The built-in emulator knows why it stopped a job; the driver's results
// alone cannot tell a cancel at the printer from another stop.
Exit Refined(Exit run, const Session &session, const RunStats &stats, std::string *error) {
    const Exit stop = BoardStopOf(session);
    if (stop == kExitCancelled)
        *error = "cancelled at the printer after " + std::to_string(stats.lines) + " lines";
    else if (stop == kExitBoardStopped)
        *error = "stopped by the board after " + std::to_string(stats.lines) + " lines";
    return stop == kExitOk ? run : stop;
}

// Prints with the session open; the sheet is written for a finished or
// aborted job on the built-in emulator.
int PrintWithSession(const Driver &driver, const JobPlan &plan, const Image &image, const Options &options,
                     Session *session) {
    FrameSheet(*session, plan);
    RunStats stats;
    std::string error;
    Exit run = RunJob(
        driver, plan, image, options, [session] { return SwathsAccepted(*session); }, &stats, &error);
    if (run == kExitBoardStopped || run == kExitNotDelivered) run = Refined(run, *session, stats, &error);
    if (run != kExitOk && run != kExitAborted) return Fail(run, error);
    const std::string output = options.output.empty() ? DefaultOutput(options.input) : options.output;
    std::string sheet_error;
    if (session->board && !WriteSheet(*session, output, &sheet_error)) return Fail(kExitSetup, sheet_error);
    std::printf("%s\n", SummaryLine(plan, options, stats, BoardStatsOf(*session)).c_str());
    if (session->board) std::printf("sheet: %s\n", output.c_str());
    std::fflush(stdout);
    return run == kExitOk ? kExitOk : Fail(run, error);
}

int Run(int argc, char **argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) return Fail(kExitUsage, error + " (see --help)");
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("swathprint %s\n", SWATHLINK_VERSION);
        return kExitOk;
    }
    Image image;
    if (!ReadImage(options.input, &image, &error)) return Fail(kExitInput, error);
    JobPlan plan;
    if (Exit e = PlanJob(options, image, &plan, &error); e != kExitOk) return Fail(e, error);
    Driver driver;
    if (!LoadDriver(options.library, &driver, &error)) return Fail(kExitSetup, error);
    WatchInterrupts([&driver] { driver.AbortPrint(); });
    Session session;
    const Exit opened = OpenSession(options, &session, &error);
    const int code =
        opened == kExitOk ? PrintWithSession(driver, plan, image, options, &session) : Fail(opened, error);
    CloseSession(&session);
    StopWatchingInterrupts();
    return code;
}

}  // namespace

}  // namespace swathprint

int main(int argc, char **argv) { return swathprint::Run(argc, argv); }
