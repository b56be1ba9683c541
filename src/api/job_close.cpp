// ClosePrint: drains the queue, ends the job on the board, stops the threads
// and releases the job.
#include "api/job_close.h"
#include "api/memory_plan.h"
#include "api/printer_state.h"
#include "files/status_file.h"
#include "platform/platform.h"
#include "transport/link_threads.h"

namespace sl {

namespace {

// The board's pause after a job before the next may start.
constexpr uint32_t kAfterJobPauseMs = 1000;

void TraceStatistics(const Session &session, const JobProp &j) {
    PlatTime now = plat_local_time();
    int32_t minutes = now.minute - session.startTime.minute;
    if (now.hour >= session.startTime.hour) minutes += 60 * (now.hour - session.startTime.hour);
    if (minutes <= 0) minutes = 1;
    uint32_t area = 0;
    if (j.XDPI && j.YDPI)
        area = static_cast<uint32_t>((uint64_t(j.Width) * 254 / j.XDPI / 10) * j.Height * 254 / j.YDPI / 10);
    uint32_t speed = area / static_cast<uint32_t>(minutes);
    sl_trace("API_ClosePrint %d-%d-%d h%d: m:%d s:%d area:%d spent:%dmin speed:%d %d \n", now.year, now.month,
             now.day, now.hour, now.minute, now.second, area, minutes, speed, speed / 1000000);
}

}  // namespace

Status CloseJob(PrinterState *printer) {
    sl_trace("API_ClosePrint\n");
    JobProp traced{};
    JobOutcome outcome = JobOutcome::Printed;
    if (Job *job = RunningJob(printer)) {
        outcome = CloseJobLink(&job->link);
        plat_sleep_ms(kAfterJobPauseMs);
        traced = job->print.prop;
        // A line the pipeline could not hand on never reached the board,
        // even when the link drained what it had.
        if (job->failed && outcome == JobOutcome::Printed) {
            sl_trace("ClosePrint: a swath was lost in the hand-off\n");
            outcome = JobOutcome::NotDelivered;
        }
    }
    // The job ends here: its threads have stopped, its memory goes with it.
    EndJob(printer);
    TraceStatistics(printer->session, traced);
    MarkStatusIdle(&printer->statusFile);
    // The host knows about its own abort; a job the board stopped, or one
    // whose swaths did not all arrive, must not look printed.
    switch (outcome) {
    case JobOutcome::Printed:
    case JobOutcome::HostAborted: return Status::Good();
    case JobOutcome::BoardStopped: return Status::Bad(StatusCode::Stopped, "the board stopped the job");
    case JobOutcome::NotDelivered: break;
    }
    return Status::Bad(StatusCode::Failed, "swaths never reached the board");
}

}  // namespace sl
