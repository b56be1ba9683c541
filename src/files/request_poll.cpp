// Taking a request that the companion application wrote into the status file.
#include "files/request_poll.h"

#include "files/files_common.h"
#include "files/status_file.h"

namespace sl {

int PollCompanionRequest(StatusFile *file, PrintCfgRecord *rec, uint16_t jobId) {
    if (file->access == StatusFileAccess::Unprepared) return 0;
    if (ReadSessionRecord(file->folder, rec) != CfgSession::Active) return 0;
    if (rec->ReqType == 0 || rec->ReqSerial == file->requestSerialSeen || rec->JobId != jobId) return 0;
    file->requestSerialSeen = rec->ReqSerial;
    return 1;
}

}  // namespace sl
