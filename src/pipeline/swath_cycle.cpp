#include "pipeline/swath_cycle.h"

#include "pipeline/alignment.h"
#include "pipeline/feathering.h"
#include "pipeline/line_intake.h"
#include "pipeline/pass_separation.h"
#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

SwathCanvas gSwathCanvas;

namespace {
SwathCycleJob gCycle;
// Equals the queue's running swath count: every swath, blank or not, is
// handed on with the count flag, and a failed hand-off ends the job.
uint32_t gSwathCount;
}  // namespace

void StartSwathCycle(const SwathCycleJob &job) {
    gCycle = job;
    for (uint32_t i = 0; i < 6; ++i) gIntake.ring.plane[i] = job.strip[i];
    gIntake.ring.stride = job.stride;
    const StripeLayout wanted =
        StripeLayoutFor(StripeMode(&UI_CurSetting), UI_CurSetting.StripeSize, job.hostXdpi);
    const uint32_t room = job.stride > job.lineBytes ? job.stride - job.lineBytes : 0;
    gIntake.ring.stripes = FitStripes(wanted, room);
    // The job block comes zero-filled from the system.
    SwathCanvasInit(&gSwathCanvas, job.swath, job.swathBytes / kSliceBytes, 1);
    gSwathCount = 0;
}

uint32_t LinesPerSwath(const PassInfo *pi) {
    const uint64_t c = pi->PassNum == 1 ? pi->ydpi : pi->softendots;
    return static_cast<uint16_t>(c * pi->ydpi / kNozzleDpi);
}

uint32_t SwathCycleCount() { return gSwathCount; }

uint32_t FlushSwaths(const PassInfo *pi) {
    if (pi->PassNum <= 1) return 0;
    // A line stays in the ring while fewer than gIntake.linesPerStrip lines follow
    // it; each swath releases LinesPerPass of them.
    const uint32_t perSwath = LinesPerSwath(pi);
    const uint32_t toLeave = perSwath ? (gIntake.linesPerStrip - 1) / perSwath : 0;
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

int ProcessCompleteSwath(SwathHandOff handOff) {
    PassInfo *pi = &gPassInfo;
    uint32_t first = 0xFFFFFFFFu, last = 0;
    pi->seqstep = 2;
    pi->direction = SwathDirection(gSwathCount, &UI_CurSetting, 1);
    pi->blankpass = 0;

    const PassSource src{{gIntake.ring.plane[0], gIntake.ring.plane[1], gIntake.ring.plane[2],
                          gIntake.ring.plane[3], gIntake.ring.plane[4], gIntake.ring.plane[5]},
                         gIntake.ring.stride,
                         gIntake.order};
    const SoftenTable table{gCycle.soften, gFeather.width, gFeather.softLines};
    Tarn_PassProcess(&src, gCycle.pass, &table, pi);

    pi->LinesPerPass = LinesPerSwath(pi);
    ReleaseRows(pi->LinesPerPass);
    const uint32_t step = PaperStep(pi, &UI_CurSetting);

    if (!pi->blankpass) {
        FormatInfo format = *gCycle.format;
        format.direction = static_cast<int8_t>(pi->direction);
        const ChannelPlacement place =
            PlacementFor(pi->direction, gJobProp.XDPI, &UI_CurSetting, gCycle.printSliceNum, gCycle.dotClass);
        const uint8_t *const passBuf[6] = {gCycle.pass[0], gCycle.pass[1], gCycle.pass[2],
                                           gCycle.pass[3], gCycle.pass[4], gCycle.pass[5]};
        const uint32_t t0 = plat_ticks_ms();
        Tarn_FormatProcess360(passBuf, &gSwathCanvas, &format, &place, &first, &last);
        sl_trace("Tarn_FormatProcess360 Use ticks: %d\n", static_cast<int>(plat_ticks_ms() - t0));
    }
    RoundSwathExtent(&first, &last);
    ++gSwathCount;
    return handOff(gCycle.swath, pi->direction, first, last, gCycle.printSliceNum, step, pi->seqstep);
}

int PipelineLine(const uint8_t *const planes[6], uint8_t fill, SwathHandOff handOff) {
    StoreLine(&gIntake.ring, planes, gCycle.lineBytes, gJobProp.Colors, fill, &gPassInfo);
    if (!SwathComplete(&gPassInfo)) return 1;
    return ProcessCompleteSwath(handOff);
}

}  // namespace sl
