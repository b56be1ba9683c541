// Carrying out a companion request on the transmit thread.
#include "files/request_dispatch.h"

#include "files/files_common.h"
#include "files/status_post.h"
#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

void CarryOutCompanionRequest(StatusFile *file, const PrintCfgRecord *rec, PrintJob *job, uint16_t jobId) {
    sl_trace("PrintCfg request type:%d sn:%d arg:%d %d\n", rec->ReqType, rec->ReqSerial, rec->ReqArg1,
             rec->ReqArg2);
    switch (rec->ReqType) {
    case kRequestAlignment:
        ApplyBidirectionalRequest(rec->ReqArg1, &job->board, job->prop.XDPI);
        ApplyStepRequest(rec->ReqArg2, &job->board, static_cast<uint8_t>(job->prop.Pass));
        PostJobStatus(file, kRequestAlignment, job, jobId);
        break;
    case kRequestPause: RequestPause(job->requests, true); break;
    case kRequestContinue: RequestPause(job->requests, false); break;
    case kRequestStop:
        RequestAbort(job->requests);
        PostJobStatus(file, kRequestStop, job, jobId);
        break;
    default: break;
    }
}

}  // namespace sl
