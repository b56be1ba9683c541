#include "api/pass_geometry.h"

#include "api/print_mode.h"
#include "pipeline/feathering.h"
#include "pipeline/line_intake.h"
#include "pipeline/pass_separation.h"
#include "pipeline/swath_cycle.h"
#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

void SetupPassGeometry(PrintJob *print, Pipeline *pipeline, bool xdpi720, uint8_t *softenTable) {
    const JobProp *job = &print->prop;
    const UISetupPara *ui = &print->board;
    PassInfo *pi = &print->pass;
    LineIntake *intake = &pipeline->intake;
    const uint32_t verticalPasses = job->YDPI / kNozzleDpi;
    const int8_t softenByte = static_cast<int8_t>(SoftenByte(ui));

    pi->PassNum = static_cast<uint8_t>(job->Pass);
    pi->colors = static_cast<uint8_t>(job->Colors);
    pi->bytesperline = WorkingBytesPerLine(job->BytesPerLine, xdpi720);
    pi->nozzledpi = kNozzleDpi;
    pi->xdpi = job->XDPI;
    pi->ydpi = job->YDPI;
    pi->softenmode = SoftenByte(ui) & 3;
    pi->passmode = xdpi720 ? 1 : 0;

    pi->softendots = SoftenDots(&pipeline->feather, job->YDPI, xdpi720, pi->softenmode, softenByte);
    pi->seq = 0;
    pi->feedOwed = 0;
    pi->LinesPerPass = LinesPerSwath(pi);
    intake->linesPerStrip = verticalPasses * kNozzleLines;
    StripRingStart(intake, pi);
    BuildSoftenTable360(&pipeline->feather, softenTable, pi, softenByte);
    pi->collet = 0;
    sl_trace("PassInfo pass:%d softendots:%d lines:%u strip:%u\n", pi->PassNum, pi->softendots,
             pi->LinesPerPass, intake->linesPerStrip);
}

}  // namespace sl
