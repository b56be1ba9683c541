// Taking a request that the companion application wrote into the status file.
#include "files/request_poll.h"

#include "files/files_common.h"
#include "files/status_file.h"

namespace sl {

int PrintCfgPollRequest(PrintCfgRecord *rec, LinkContext *link) {
    if (gStatusFile.access == StatusFileAccess::Unprepared) return 0;
    if (PrintCfgReadActive(rec) != CfgSession::Active) return 0;
    if (rec->ReqType == 0 || rec->ReqSerial == gStatusFile.requestSerialSeen ||
        rec->JobId != link->JobId.load())
        return 0;
    gStatusFile.requestSerialSeen = rec->ReqSerial;
    return 1;
}

}  // namespace sl
