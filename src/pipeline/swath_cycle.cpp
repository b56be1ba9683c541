#include "pipeline/swath_cycle.h"

#include "pipeline/alignment.h"
#include "pipeline/feathering.h"
#include "pipeline/line_intake.h"
#include "pipeline/pass_separation.h"
#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

void StartSwathCycle(Pipeline *p, const PrintJob *job, const SwathCycleJob &cycle) {
    p->cycle = cycle;
    for (uint32_t i = 0; i < 6; ++i) p->intake.ring.plane[i] = cycle.strip[i];
    p->intake.ring.stride = cycle.stride;
    const StripeLayout wanted =
        StripeLayoutFor(StripeMode(&job->board), job->board.StripeSize, cycle.hostXdpi);
    const uint32_t room = cycle.stride > cycle.lineBytes ? cycle.stride - cycle.lineBytes : 0;
    p->intake.ring.stripes = FitStripes(wanted, room);
    // The job block comes zero-filled from the system.
    SwathCanvasInit(&p->canvas, cycle.swath, cycle.swathBytes / kSliceBytes, 1);
    p->swathCount = 0;
}

uint32_t LinesPerSwath(const PassInfo *pi) {
    const uint64_t c = pi->PassNum == 1 ? pi->ydpi : pi->softendots;
    return static_cast<uint16_t>(c * pi->ydpi / kNozzleDpi);
}

uint32_t FlushSwaths(const Pipeline *p, const PassInfo *pi) {
    if (pi->PassNum <= 1) return 0;
    // A line stays in the ring while fewer than linesPerStrip lines follow
    // it; each swath releases LinesPerPass of them.
    const uint32_t perSwath = LinesPerSwath(pi);
    const uint32_t toLeave = perSwath ? (p->intake.linesPerStrip - 1) / perSwath : 0;
    const uint32_t atLeast = pi->PassNum + 2u;
    return toLeave > atLeast ? toLeave : atLeast;
}

ChannelPlacement PlacementFor(uint8_t dir, uint32_t xdpi, const UISetupPara *ui, uint32_t printSliceNum,
                              uint8_t dotClass) {
    ChannelPlacement place{};
    for (uint8_t ch = 0; ch < kChannels; ++ch) {
        if (dir == L_TO_R) {
            place.offset[ch] = ForwardOffset(ch, xdpi, ui);
            place.base[ch] = place.offset[ch];
        } else {
            // Right-to-left ink fires mirrored from the backward offset, so
            // its extent is measured there, up to the last pixel of a column.
            place.offset[ch] = BackwardOffset(ch, xdpi, ui, printSliceNum, dotClass);
            place.base[ch] = printSliceNum - place.offset[ch];
        }
    }
    place.lastPad = dir == L_TO_R ? 0 : 3;
    return place;
}

Status ProcessCompleteSwath(Pipeline *p, PrintJob *job, SwathHandOff handOff) {
    PassInfo *pi = &job->pass;
    const SwathCycleJob &cycle = p->cycle;
    LineIntake *intake = &p->intake;
    uint32_t first = 0xFFFFFFFFu, last = 0;
    pi->seqstep = 2;
    pi->direction = SwathDirection(intake, p->swathCount, &job->board, 1);
    pi->blankpass = 0;

    const PassSource src{{intake->ring.plane[0], intake->ring.plane[1], intake->ring.plane[2],
                          intake->ring.plane[3], intake->ring.plane[4], intake->ring.plane[5]},
                         intake->ring.stride,
                         intake->order};
    const SoftenTable table{cycle.soften, p->feather.width, p->feather.softLines};
    SeparatePass(&src, cycle.pass, &table, pi, p->kernels);

    pi->LinesPerPass = LinesPerSwath(pi);
    ReleaseRows(intake, pi->LinesPerPass);
    const uint32_t step = PaperStep(pi, &job->board);

    if (!pi->blankpass) {
        FormatInfo format = p->format;
        format.direction = static_cast<int8_t>(pi->direction);
        const ChannelPlacement place =
            PlacementFor(pi->direction, job->prop.XDPI, &job->board, cycle.printSliceNum, cycle.dotClass);
        const uint8_t *const passBuf[6] = {cycle.pass[0], cycle.pass[1], cycle.pass[2],
                                           cycle.pass[3], cycle.pass[4], cycle.pass[5]};
        const uint32_t t0 = plat_ticks_ms();
        FormatSwath(passBuf, &p->canvas, &format, &place, &first, &last, p->kernels);
        sl_trace("Tarn_FormatProcess360 Use ticks: %d\n", static_cast<int>(plat_ticks_ms() - t0));
    }
    RoundSwathExtent(&first, &last);
    ++p->swathCount;
    return handOff.take(handOff.receiver, cycle.swath, pi->direction, first, last, cycle.printSliceNum, step,
                        pi->seqstep);
}

Status PipelineLine(Pipeline *p, PrintJob *job, const uint8_t *const planes[6], uint8_t fill,
                    SwathHandOff handOff) {
    StoreLine(&p->intake, planes, p->cycle.lineBytes, job->prop.Colors, fill, &job->pass);
    if (!SwathComplete(&job->pass)) return Status::Good();
    return ProcessCompleteSwath(p, job, handOff);
}

}  // namespace sl
