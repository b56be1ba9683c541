#include "api/job_start.h"

#include <cstring>

#include "api/channel_map.h"
#include "api/job_check.h"
#include "api/job_state.h"
#include "api/memory_plan.h"
#include "api/one_bit.h"
#include "api/pass_geometry.h"
#include "api/print_mode.h"
#include "api/slice_plan.h"
#include "files/files_common.h"
#include "files/status_post.h"
#include "link/tcp_link.h"
#include "pipeline/alignment.h"
#include "pipeline/swath_cycle.h"
#include "platform/platform.h"
#include "shared/board_settings.h"
#include "transport/command_protocol.h"
#include "transport/link_threads.h"
#include "transport/net_codes.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

bool Chinese() { return gSession.languageId == 2052; }

void TraceJob(const char *title, const JobProp *p) {
    sl_trace(
        "%s Sig:0x%x XDPI:%u YDPI:%u BytesPerLine:%u Height:%u Width:%u PaperWidth:%u "
        "Colors:%u Bits:%u Pass:%u VsdMode:%u Reserved:0x%x\n",
        title, p->Signature, p->XDPI, p->YDPI, p->BytesPerLine, p->Height, p->Width, p->PaperWidth, p->Colors,
        p->Bits, p->Pass, p->VsdMode, p->Reserved);
}

void RememberHostValues(const JobProp *p) {
    gHost.xdpi = p->XDPI;
    gHost.ydpi = p->YDPI;
    gHost.pass = p->Pass;
    gHost.width = p->Width;
    gHost.declaredBytesPerLine = p->BytesPerLine;
    gHost.bytesPerLine = p->BytesPerLine;
}

// 1-bit lines are expanded through the dot-size table.
void SetUpInputDepth(const JobProp *job) {
    gHost.oneBitInput = IsOneBitInput(job) ? 1 : 0;
    if (gHost.oneBitInput) {
        gHost.bytesPerLine *= 2;
        BuildDotSizeTable(ReadDotSize(), gHost.dotSizeTable);
    }
}

// A failure after the connection: the threads stop before the socket closes.
int CloseOpenedLink(const char *why) {
    sl_trace("%s", why);
    StopLinkThreads(&gLink);
    CloseConnection(gLink.socket.load());
    return 0;
}

// Opens the job on the board; every failure closes what was opened so far.
// The link reset also clears the abort and pause requests.
int OpenJobOnBoard() {
    LinkResetForJob(&gLink);
    if (!CreateConnection(&gLink)) {
        sl_trace("ERROR!!! CreateConnection Fail!!\r\n");
        return 0;
    }
    if (!StartLinkThreads(&gLink)) return CloseOpenedLink("ERROR!!! Create thread Fail!!\r\n");
    if (!Carried(Kt_ExcuseCommand(NET_CMD_JOB_CREATE, &gLink)))
        return CloseOpenedLink("Send NET_CMD_JOB_CREATE Fail!!\r\n");
    Adjust720(&gJobProp, &UI_CurSetting, XdpiIs720());
    if (!Carried(Kt_ExcuseCommand(NET_CMD_PRINT_START, &gLink)))
        return CloseOpenedLink("Send NET_CMD_PRINT_START Fail!!\r\n");
    return 1;
}

// Ends a job that was opened on the board but cannot be printed.
void AbandonOpenJob() {
    CloseJobLink(&gLink);
    ReleaseJobBuffers();
}

int Refuse(const char *why) {
    sl_trace("StartPrint refused: %s\n", why);
    plat_message_box("Error", "Job properties not supported");
    return 0;
}

}  // namespace

void PrepareJob(const JobProp *host, JobProp *job) {
    RememberHostValues(host);
    *job = *host;
    SetUpInputDepth(job);
    job->Bits = 1;
    job->Pass = job->YDPI / 360;
    WidenLine(job);
    PublishMode(job);
}

bool PlanJob() {
    SelectSpeedClass(&gJobProp, &UI_CurSetting);
    return PlanSlices(&gJobProp, &UI_CurSetting);
}

void SetUpPipeline() {
    ConvertColorToChannel(&gJobProp, &UI_CurSetting, &gFormatInfo, gSlicePlan.maxSwathSize, XdpiIs720());
    SetupPassGeometry(&gJobProp, &UI_CurSetting, XdpiIs720(), gBuffers.soften);
    InitStrips(&gJobProp);
    SwathCycleJob cycle{};
    for (uint32_t i = 0; i < 6; ++i) {
        cycle.strip[i] = gBuffers.strip[i];
        cycle.pass[i] = gBuffers.pass[i];
    }
    cycle.stride = gJobProp.BytesPerLine;
    cycle.lineBytes = gHost.bytesPerLine;
    cycle.hostXdpi = gHost.xdpi;
    cycle.soften = gBuffers.soften;
    cycle.swath = gBuffers.swath;
    cycle.swathBytes = kSwathBufferBytes;
    cycle.printSliceNum = gSlicePlan.printSliceNum;
    cycle.dotClass = DotSizeClass();
    cycle.format = &gFormatInfo;
    StartSwathCycle(cycle);
}

int32_t StartPrintJob(const JobProp *pProp) {
    if (!pProp) return Refuse("no job properties");
    TraceJob("API_StartPrint", pProp);
    // A second StartPrint must not touch the running job, whose lines are
    // measured with the host values remembered here.
    if (gRun.started.load() == 1) return 1;
    if (const char *problem = JobPropProblem(pProp)) return Refuse(problem);

    JobProp job;
    PrepareJob(pProp, &job);
    if (!AllocJobBuffers(job.XDPI, job.YDPI, AllocWidthFor(job.Width, job.XDPI))) {
        plat_message_box("Error", Chinese() ? "Memory fail" : "Memory Fail");
        return 0;
    }
    gJobProp = job;
    gRun.failed = 0;
    if (!OpenJobOnBoard()) {
        ReleaseJobBuffers();
        plat_message_box("Error Tip", Chinese() ? "connect fail !" : "Connect fail !");
        return 0;
    }
    if (!PlanJob()) {
        AbandonOpenJob();
        return Refuse("line wider than the widest swath");
    }
    SetUpPipeline();
    TraceJob("gJobProp", &gJobProp);
    gRun.started.store(1);
    PrintCfgPostStatus(kPostJobStart);
    return 1;
}

}  // namespace sl
