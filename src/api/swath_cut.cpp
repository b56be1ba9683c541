#include "api/swath_cut.h"

#include "api/job_state.h"
#include "api/memory_plan.h"
#include "api/print_mode.h"
#include "pipeline/alignment.h"
#include "pipeline/feathering.h"
#include "pipeline/line_intake.h"
#include "pipeline/pass_separation.h"
#include "transport/parameter_block.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {
SwathCanvas gSwathCanvas;
}

void StartSwathCycle() {
    for (uint32_t i = 0; i < 6; ++i) gStripRing.plane[i] = gBuffers.strip[i];
    gStripRing.stride = gJobProp.BytesPerLine;
    gStripRing.stripes = StripeLayoutFor(StripeMode(&UI_CurSetting), UI_CurSetting.StripeSize, gHostXDPI);
    SwathCanvasInit(&gSwathCanvas, gBuffers.swath, kSwathBufferBytes / kSliceBytes, 1);
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

int CutSwath() {
    PassInfo *pi = &gPassInfo;
    uint32_t first = 0xFFFFFFFFu, last = 0;
    pi->seqstep = 2;
    pi->direction = SwathDirection(AssemblySwathCount(), &UI_CurSetting, 1);
    pi->blankpass = 0;

    const PassSource src{{gStripRing.plane[0], gStripRing.plane[1], gStripRing.plane[2],
                          gStripRing.plane[3], gStripRing.plane[4], gStripRing.plane[5]},
                         gStripRing.stride,
                         gLineOrder};
    const SoftenTable table{gBuffers.soften, gSoftenWidth, gSoftLines};
    Tarn_PassProcess(&src, gBuffers.pass, &table, pi);

    pi->LinesPerPass = LinesPerSwath(pi);
    ReleaseRows(pi->LinesPerPass);
    const uint32_t step = PaperStep(pi, &UI_CurSetting);

    if (!pi->blankpass) {
        gFormatInfo.direction = static_cast<int8_t>(pi->direction);
        const ChannelPlacement place =
            PlacementFor(pi->direction, gJobProp.XDPI, &UI_CurSetting, gPrintSliceNum, DotSizeClass());
        const uint8_t *const passBuf[6] = {gBuffers.pass[0], gBuffers.pass[1], gBuffers.pass[2],
                                           gBuffers.pass[3], gBuffers.pass[4], gBuffers.pass[5]};
        Tarn_FormatProcess360(passBuf, &gSwathCanvas, &gFormatInfo, &place, &first, &last);
    }
    RoundSwathExtent(&first, &last);
    return AddSwath(gBuffers.swath, pi->direction, first, last, gPrintSliceNum, step, pi->seqstep);
}

}  // namespace sl
