#include "api/job_check.h"

#include "api/one_bit.h"
#include "api/print_mode.h"
#include "shared/board_mode.h"
#include "shared/records.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

// Bytes one plane of one line occupies at 1 bit per pixel.
uint32_t OneBitBytes(uint32_t width) { return width / 8 + (width % 8 ? 1 : 0); }

// The widened line: its Width and the internal stride a host line must fit.
JobProp Widened(const JobProp *p) {
    JobProp copy = *p;
    WidenLine(&copy);
    return copy;
}

}  // namespace

bool PlacesResolution(uint32_t xdpi, uint32_t ydpi) {
    // Every XDPI with head positions has a board code too.
    return HasHeadPositions(xdpi) && ydpi % kNozzleDpi == 0 && YResCode(ydpi) != 0;
}

const char *JobPropProblem(const JobProp *p) {
    if (!p) return "no job properties";
    if (p->Width < 8) return "Width below 8";
    if (p->Width > 2 * MAX_SLICE_NUMBER) return "Width beyond the widest swath";
    if (!PlacesResolution(p->XDPI, p->YDPI)) return "a resolution the head cannot place";
    if (p->Colors == 0 || p->Colors > 6) return "Colors outside 1..6";
    if (p->BytesPerLine == 0 || p->BytesPerLine < OneBitBytes(p->Width))
        return "BytesPerLine too small for Width";
    uint64_t line = uint64_t(p->Colors) * p->BytesPerLine;
    uint64_t expanded = IsOneBitInput(p) ? 2 * line : line;
    if (line > kEmptyLineBytes || expanded > kExpandBufferBytes) return "line longer than the line buffers";
    uint64_t plane = IsOneBitInput(p) ? 2ull * p->BytesPerLine : p->BytesPerLine;
    const JobProp widened = Widened(p);
    if (plane > widened.BytesPerLine) return "BytesPerLine longer than the widened line";
    // The memory plan works in 32-bit sizes; the strip plane is the largest.
    uint64_t allocWidth = widened.Width + 4ull * p->XDPI;
    if (uint64_t(p->YDPI) * allocWidth * 2 / 8 >= (1ull << 30)) return "line too wide for the strip buffers";
    return nullptr;
}

}  // namespace sl
