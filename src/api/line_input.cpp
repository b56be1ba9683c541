// PrintALine and EndPrint: raster lines into the strip ring, complete swaths
// out to the queue.
#include <cstring>

#include "api/job_control.h"
#include "api/job_state.h"
#include "api/memory_plan.h"
#include "api/print_mode.h"
#include "pipeline/line_intake.h"
#include "pipeline/swath_cycle.h"
#include "platform/platform.h"
#include "transport/command_protocol.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

uint8_t gExpandBuffer[kExpandBufferBytes];
const uint8_t gEmptyLine[kEmptyLineBytes] = {};

// Stores one host line and, when it completes a swath, cuts the swath.
// Returns 1 to go on, 0 when the job ended fatally, -1 when it was aborted.
int TakeLine(const uint8_t *line) {
    const uint8_t *planes[6];
    for (uint32_t c = 0; c < 6; ++c) planes[c] = line + c * gHostBytesPerLine;
    // Stripes are drawn on image lines only, not on the padding of the job end.
    const uint8_t fill = gTotalLines <= gJobProp.Height ? 0xFF : 0x00;
    if (PipelineLine(planes, fill, &AddSwath)) return 1;
    if (JobIsAborted()) {
        sl_trace("Print Abort !");
        return -1;
    }
    sl_trace("\n Printer Fatal Error !!!\n");
    ReleaseJobBuffers();
    gJobFailed = 1;  // the buffers are gone: later lines must not reach them
    return 0;
}

}  // namespace

int32_t PrintLines(const uint8_t *data, uint32_t size) {
    if (JobIsAborted() || gJobFailed) return 0;
    if (gJobStarted.load() == 0) return 1;
    const uint32_t hostLine = gHostDeclaredBytesPerLine * gJobProp.Colors;
    const uint32_t lines = size / hostLine;
    if (size % hostLine) sl_trace("PrintALine: %u bytes after the last whole line ignored\n", size % hostLine);
    if (lines && !data) {
        sl_trace("PrintALine: no line data\n");
        return 0;
    }
    for (uint32_t i = 0; i < lines; ++i) {
        ++gTotalLines;
        const uint8_t *line = data + i * hostLine;
        // One line at a time, so the expansion buffer always holds it.
        if (gOneBitInput) {
            ExpandOneBitLine(gExpandBuffer, line, hostLine, gDotSizeTable);
            line = gExpandBuffer;
        }
        int r = TakeLine(line);
        if (r <= 0) return r < 0 ? 1 : 0;
    }
    return 1;
}

namespace {

// Feeds n empty lines; stops early when the job ends.
bool FeedEmptyLines(uint32_t n) {
    const uint32_t hostLine = gHostDeclaredBytesPerLine * gJobProp.Colors;
    for (uint32_t i = 0; i < n; ++i) {
        if (gJobStarted.load() == 0 || JobIsAborted()) return false;
        if (PrintLines(gEmptyLine, hostLine) == 0) return false;
    }
    return true;
}

// Lines of the next `swaths` swaths, starting at the current pass sequence.
uint32_t LinesOfNextSwaths(uint32_t swaths) {
    uint32_t total = 0;
    PassInfo pi = gPassInfo;
    for (uint32_t s = 0; s < swaths; ++s) total += LinesPerSwath(&pi);
    return total;
}

}  // namespace

int32_t EndPrintJob() {
    if (gJobStarted.load() == 0 || gJobFailed) return 1;
    gSwathQueue.EmptyRun.store(1);
    // Complete the current swath with empty lines, also in one-pass jobs:
    // otherwise the lines after the last complete swath are never printed.
    if (gPassInfo.LinesPerPass > gPassInfo.collet && !FeedEmptyLines(gPassInfo.LinesPerPass - gPassInfo.collet))
        return 1;
    // Multi-pass jobs print every pass of their last lines.
    if (gPassInfo.PassNum != 1) FeedEmptyLines(LinesOfNextSwaths(FlushSwaths(&gPassInfo)));
    return 1;
}

}  // namespace sl
