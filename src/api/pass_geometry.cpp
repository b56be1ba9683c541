#include "api/pass_geometry.h"

#include "api/job_state.h"
#include "api/print_mode.h"
#include "pipeline/feathering.h"
#include "pipeline/line_intake.h"
#include "pipeline/pass_separation.h"
#include "pipeline/swath_cycle.h"
#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

void SetupPassGeometry(const JobProp *job, UISetupPara *ui, bool xdpi720, uint8_t *softenTable) {
    PassInfo *pi = &gPassInfo;
    const uint32_t verticalPasses = job->YDPI / kNozzleDpi;
    const int8_t softenByte = static_cast<int8_t>(SoftenByte(ui));

    pi->PassNum = static_cast<uint8_t>(job->Pass);
    pi->xpasses = 1;
    if (pi->PassNum != 1) {
        // A YDPI below 360 (outside the job domain) must not divide by zero.
        uint32_t x = verticalPasses ? pi->PassNum / verticalPasses : pi->PassNum;
        if (xdpi720) x /= 2;
        pi->xpasses = static_cast<uint8_t>(x);
    }
    pi->colors = static_cast<uint8_t>(job->Colors);
    pi->PassSec = 1;
    pi->bytesperline = WorkingBytesPerLine(job->BytesPerLine, xdpi720);
    pi->nozzledpi = kNozzleDpi;
    pi->xdpi = job->XDPI;
    pi->ydpi = job->YDPI;
    pi->softenmode = SoftenByte(ui) & 3;
    pi->passmode = xdpi720 ? 1 : 0;
    pi->nozzles = kNozzleLines;
    pi->dirmode = ui->Dir;

    pi->softendots = SoftenDots(job->YDPI, xdpi720, pi->softenmode, softenByte);
    gPassSeq = 0;
    pi->feedOwed = 0;
    pi->LinesPerPass = LinesPerSwath(pi);
    gIntake.linesPerStrip = verticalPasses * kNozzleLines;
    StripRingStart(pi);
    BuildSoftenTable360(softenTable, pi, softenByte);
    pi->collet = 0;
    sl_trace("PassInfo pass:%d xpasses:%d softendots:%d lines:%u strip:%u\n", pi->PassNum, pi->xpasses,
             pi->softendots, pi->LinesPerPass, gIntake.linesPerStrip);
}

}  // namespace sl
