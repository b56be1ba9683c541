#include "api/line_input.h"

#include <cstring>

#include "api/job_state.h"
#include "api/memory_plan.h"
#include "api/print_mode.h"
#include "pipeline/line_intake.h"
#include "pipeline/swath_cycle.h"
#include "platform/platform.h"
#include "shared/status.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

const uint8_t gEmptyLine[kEmptyLineBytes] = {};

Status HandSwathToQueue(void *link, const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx,
                        uint32_t widthPx, uint32_t step, int countFlag) {
    return AddSwath(static_cast<JobLink *>(link), src, dir, startPx, endPx, widthPx, step, countFlag);
}

// Stores one host line and, when it completes a swath, cuts the swath. Ok
// to go on; Aborted (the line was taken) when the host aborted the job or
// the board stopped it meanwhile; Failed when the job ended fatally.
Status TakeLine(Job *job, const uint8_t *line) {
    const Status fed = FeedLine(job, line, QueueHandOff(job));
    if (fed.ok()) return fed;
    if (JobIsAborted(job)) {
        sl_trace("Print Abort !");
        return Status::Bad(StatusCode::Aborted, "the job was aborted");
    }
    sl_trace("\n Printer Fatal Error !!!\n");
    ReleaseJobBuffers(&job->buffers);
    QueueUseBuffers(&job->link, nullptr, 0);
    job->failed = true;  // the buffers are gone: later lines must not reach them
    return Status::Bad(StatusCode::Failed, "a fatal error ended the job");
}

uint32_t HostLineBytes(const Job *job) { return job->host.declaredBytesPerLine * job->print.prop.Colors; }

// Feeds n empty lines; stops early when the job ends.
bool FeedEmptyLines(Job *job, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (JobIsAborted(job)) return false;
        if (!PrintLines(job, gEmptyLine, HostLineBytes(job)).ok()) return false;
    }
    return true;
}

}  // namespace

SwathHandOff QueueHandOff(Job *job) { return {&HandSwathToQueue, &job->link}; }

Status FeedLine(Job *job, const uint8_t *line, SwathHandOff handOff) {
    ++job->totalLines;
    // One line at a time, so the expansion buffer always holds it.
    if (job->host.oneBitInput) {
        ExpandOneBitLine(job->expanded, line, HostLineBytes(job), job->host.dotSizeTable);
        line = job->expanded;
    }
    const uint8_t *planes[6];
    for (uint32_t c = 0; c < 6; ++c) planes[c] = line + c * job->host.bytesPerLine;
    // Stripes are drawn on image lines only, not on the padding of the job end.
    const uint8_t fill = job->totalLines <= job->print.prop.Height ? 0xFF : 0x00;
    return PipelineLine(&job->pipeline, &job->print, planes, fill, handOff);
}

uint32_t LinesToCompleteSwath(const Job *job) {
    const PassInfo &pi = job->print.pass;
    return pi.LinesPerPass > pi.collet ? pi.LinesPerPass - pi.collet : 0;
}

uint32_t FlushLines(const Job *job) {
    return FlushSwaths(&job->pipeline, &job->print.pass) * LinesPerSwath(&job->print.pass);
}

Status PrintLines(Job *job, const uint8_t *data, uint32_t size) {
    if (JobIsAborted(job)) return Status::Bad(StatusCode::Aborted, "the job is aborted");
    if (job->failed) return Status::Bad(StatusCode::Failed, "a fatal error ended the job");
    const uint32_t hostLine = HostLineBytes(job);
    const uint32_t lines = size / hostLine;
    if (size % hostLine)
        sl_trace("PrintALine: %u bytes after the last whole line ignored\n", size % hostLine);
    if (lines && !data) {
        sl_trace("PrintALine: no line data\n");
        return Status::Bad(StatusCode::Refused, "no line data");
    }
    for (uint32_t i = 0; i < lines; ++i) {
        const Status taken = TakeLine(job, data + i * hostLine);
        // Aborted while the swath was handed on: the line was taken.
        if (taken.code == StatusCode::Aborted) return Status::Good();
        if (!taken.ok()) return taken;
    }
    return Status::Good();
}

void EndPrintJob(Job *job) {
    if (job->failed) return;
    job->link.queue.EmptyRun.store(1);
    // Complete the current swath with empty lines, also in one-pass jobs:
    // otherwise the lines after the last complete swath are never printed.
    // Multi-pass jobs then print every pass of their last lines (a one-pass
    // job has no flushing swaths).
    if (FeedEmptyLines(job, LinesToCompleteSwath(job))) FeedEmptyLines(job, FlushLines(job));
}

}  // namespace sl
