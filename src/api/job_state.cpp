#include "api/job_state.h"

#include "api/memory_plan.h"
#include "files/files_common.h"

namespace sl {

HostView gHost;
JobRun gRun;
Session gSession;

void ResetLibraryState() {
    gRun.started.store(0);
    gRun.failed = 0;
    gRun.totalLines = 0;
    ClearRequests();
    gHost = HostView{};
    gJobProp = JobProp{};
    gMode = BoardMode{};
    gPassInfo = PassInfo{};
    gPassSeq = 0;
    UI_CurSetting = UISetupPara{};
    gSlicePlan = SlicePlan{};
    gLink.ErrorCode.store(kLinkErrorNone);
    // A new session does not start stopped because the last job was.
    gLink.PrintStopFlag.store(0);
    gStatusFile.access = StatusFileAccess::Unprepared;
    gStatusFile.requestSerialSeen = 0;
    gStatusFile.statusSerial = 0;
}

bool JobIsAborted() { return AbortRequested() || gLink.PrintStopFlag.load() == 1; }

}  // namespace sl
