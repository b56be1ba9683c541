// Carrying out a companion request on the transmit thread.
#include "files/request_dispatch.h"

#include "files/files_common.h"
#include "files/status_post.h"
#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

void PrintCfgDispatch(const PrintCfgRecord *rec, LinkContext *) {
    sl_trace("PrintCfg request type:%d sn:%d arg:%d %d\n", rec->ReqType, rec->ReqSerial, rec->ReqArg1,
             rec->ReqArg2);
    switch (rec->ReqType) {
    case kRequestAlignment:
        Tarn_DynUpdateXHori2Para(rec->ReqArg1, &UI_CurSetting, gJobProp.XDPI);
        Tarn_DynUpdateStepAlignPara(rec->ReqArg2, &UI_CurSetting, static_cast<uint8_t>(gJobProp.Pass));
        PrintCfgPostStatus(kRequestAlignment);
        break;
    case kRequestPause: RequestPause(true); break;
    case kRequestContinue: RequestPause(false); break;
    case kRequestStop:
        RequestAbort();
        PrintCfgPostStatus(kRequestStop);
        break;
    default: break;
    }
}

}  // namespace sl
