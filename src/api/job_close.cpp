// ClosePrint: drains the queue, ends the job on the board, stops the threads
// and releases the job.
#include "api/job_close.h"
#include "api/job_state.h"
#include "api/memory_plan.h"
#include "files/status_file.h"
#include "platform/platform.h"
#include "transport/link_threads.h"

namespace sl {

namespace {

void TraceStatistics() {
    PlatTime now = plat_local_time();
    int32_t minutes = now.minute - gSession.startTime.minute;
    if (now.hour >= gSession.startTime.hour) minutes += 60 * (now.hour - gSession.startTime.hour);
    if (minutes <= 0) minutes = 1;
    const JobProp &j = gJobProp;
    uint32_t area = 0;
    if (j.XDPI && j.YDPI)
        area = static_cast<uint32_t>((uint64_t(j.Width) * 254 / j.XDPI / 10) * j.Height * 254 / j.YDPI / 10);
    uint32_t speed = area / static_cast<uint32_t>(minutes);
    sl_trace("API_ClosePrint %d-%d-%d h%d: m:%d s:%d area:%d spent:%dmin speed:%d %d \n", now.year, now.month,
             now.day, now.hour, now.minute, now.second, area, minutes, speed, speed / 1000000);
}

}  // namespace

int32_t ClosePrintJob() {
    sl_trace("API_ClosePrint\n");
    JobOutcome outcome = JobOutcome::Printed;
    if (gRun.started.load() == 1) {
        outcome = CloseJobLink(&gLink);
        plat_sleep_ms(1000);
    }
    // A line the pipeline could not hand on never reached the board, even
    // when the link drained what it had.
    if (gRun.failed && outcome == JobOutcome::Printed) {
        sl_trace("ClosePrint: a swath was lost in the hand-off\n");
        outcome = JobOutcome::NotDelivered;
    }
    ReleaseJobBuffers();
    TraceStatistics();
    SetIDLE();
    gRun.started.store(0);
    gRun.failed = 0;
    // The host knows about its own abort; a job the board stopped, or one
    // whose swaths did not all arrive, must not look printed.
    return outcome == JobOutcome::Printed || outcome == JobOutcome::HostAborted ? 1 : 0;
}

}  // namespace sl
