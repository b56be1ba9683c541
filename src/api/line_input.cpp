#include "api/line_input.h"

#include <cstring>

#include "api/job_state.h"
#include "api/memory_plan.h"
#include "api/print_mode.h"
#include "pipeline/line_intake.h"
#include "pipeline/swath_cycle.h"
#include "platform/platform.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

uint8_t gExpandBuffer[kExpandBufferBytes];
const uint8_t gEmptyLine[kEmptyLineBytes] = {};

// Stores one host line and, when it completes a swath, cuts the swath.
// Returns 1 to go on, 0 when the job ended fatally, -1 when it was aborted.
int TakeLine(const uint8_t *line) {
    if (FeedLine(line, &AddSwath)) return 1;
    if (JobIsAborted()) {
        sl_trace("Print Abort !");
        return -1;
    }
    sl_trace("\n Printer Fatal Error !!!\n");
    ReleaseJobBuffers();
    gRun.failed = 1;  // the buffers are gone: later lines must not reach them
    return 0;
}

uint32_t HostLineBytes() { return gHost.declaredBytesPerLine * gJobProp.Colors; }

// Feeds n empty lines; stops early when the job ends.
bool FeedEmptyLines(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (gRun.started.load() == 0 || JobIsAborted()) return false;
        if (PrintLines(gEmptyLine, HostLineBytes()) == 0) return false;
    }
    return true;
}

}  // namespace

int FeedLine(const uint8_t *line, SwathHandOff handOff) {
    ++gRun.totalLines;
    // One line at a time, so the expansion buffer always holds it.
    if (gHost.oneBitInput) {
        ExpandOneBitLine(gExpandBuffer, line, HostLineBytes(), gHost.dotSizeTable);
        line = gExpandBuffer;
    }
    const uint8_t *planes[6];
    for (uint32_t c = 0; c < 6; ++c) planes[c] = line + c * gHost.bytesPerLine;
    // Stripes are drawn on image lines only, not on the padding of the job end.
    const uint8_t fill = gRun.totalLines <= gJobProp.Height ? 0xFF : 0x00;
    return PipelineLine(planes, fill, handOff);
}

uint32_t LinesToCompleteSwath() {
    return gPassInfo.LinesPerPass > gPassInfo.collet ? gPassInfo.LinesPerPass - gPassInfo.collet : 0;
}

uint32_t FlushLines() { return FlushSwaths(&gPassInfo) * LinesPerSwath(&gPassInfo); }

int32_t PrintLines(const uint8_t *data, uint32_t size) {
    if (JobIsAborted() || gRun.failed) return 0;
    if (gRun.started.load() == 0) return 1;
    const uint32_t hostLine = HostLineBytes();
    const uint32_t lines = size / hostLine;
    if (size % hostLine)
        sl_trace("PrintALine: %u bytes after the last whole line ignored\n", size % hostLine);
    if (lines && !data) {
        sl_trace("PrintALine: no line data\n");
        return 0;
    }
    for (uint32_t i = 0; i < lines; ++i) {
        int r = TakeLine(data + i * hostLine);
        if (r <= 0) return r < 0 ? 1 : 0;
    }
    return 1;
}

int32_t EndPrintJob() {
    if (gRun.started.load() == 0 || gRun.failed) return 1;
    gSwathQueue.EmptyRun.store(1);
    // Complete the current swath with empty lines, also in one-pass jobs:
    // otherwise the lines after the last complete swath are never printed.
    // Multi-pass jobs then print every pass of their last lines (a one-pass
    // job has no flushing swaths).
    if (FeedEmptyLines(LinesToCompleteSwath())) FeedEmptyLines(FlushLines());
    return 1;
}

}  // namespace sl
