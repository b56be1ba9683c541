#include "api/job_start.h"

#include <cstring>

#include "api/channel_map.h"
#include "api/job_check.h"
#include "api/memory_plan.h"
#include "api/one_bit.h"
#include "api/pass_geometry.h"
#include "api/print_mode.h"
#include "api/printer_state.h"
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

void TraceJob(const char *title, const JobProp *p) {
    sl_trace(
        "%s Sig:0x%x XDPI:%u YDPI:%u BytesPerLine:%u Height:%u Width:%u PaperWidth:%u "
        "Colors:%u Bits:%u Pass:%u VsdMode:%u Reserved:0x%x\n",
        title, p->Signature, p->XDPI, p->YDPI, p->BytesPerLine, p->Height, p->Width, p->PaperWidth, p->Colors,
        p->Bits, p->Pass, p->VsdMode, p->Reserved);
}

void RememberHostValues(HostView *host, const JobProp *p) {
    host->xdpi = p->XDPI;
    host->ydpi = p->YDPI;
    host->pass = p->Pass;
    host->width = p->Width;
    host->declaredBytesPerLine = p->BytesPerLine;
    host->bytesPerLine = p->BytesPerLine;
}

// 1-bit lines are expanded through the dot-size table.
void SetUpInputDepth(HostView *host, const JobProp *job, const std::string &folder) {
    host->oneBitInput = IsOneBitInput(job) ? 1 : 0;
    if (host->oneBitInput) {
        host->bytesPerLine *= 2;
        BuildDotSizeTable(ReadDotSize(folder), host->dotSizeTable);
    }
}

// A failure after the connection: the threads stop before the socket closes.
Status CloseOpenedLink(JobLink *link, const char *trace, Status why) {
    sl_trace("%s", trace);
    StopLinkThreads(link);
    CloseConnection(link, link->socket.load());
    return why;
}

// Opens the job on the board; every failure closes what was opened so far.
// Each is NoBoard, which the operator sees as a failed connection, with the
// step that failed as its reason.
Status OpenJobOnBoard(Job *job) {
    JobLink *link = &job->link;
    if (const Status connected = CreateConnection(link); !connected.ok()) {
        sl_trace("ERROR!!! CreateConnection Fail!!\r\n");
        return connected;
    }
    if (const Status started = StartLinkThreads(link); !started.ok())
        return CloseOpenedLink(link, "ERROR!!! Create thread Fail!!\r\n",
                               Status::Bad(StatusCode::NoBoard, started.reason));
    if (!Carried(CarryHostCommand(NET_CMD_JOB_CREATE, link)))
        return CloseOpenedLink(link, "Send NET_CMD_JOB_CREATE Fail!!\r\n",
                               Status::Bad(StatusCode::NoBoard, "the board did not open the job"));
    Adjust720(&job->print, XdpiIs720(job));
    if (!Carried(CarryHostCommand(NET_CMD_PRINT_START, link)))
        return CloseOpenedLink(link, "Send NET_CMD_PRINT_START Fail!!\r\n",
                               Status::Bad(StatusCode::NoBoard, "the board did not start the print"));
    return Status::Good();
}

Status Refuse(const char *why) {
    sl_trace("StartPrint refused: %s\n", why);
    return Status::Bad(StatusCode::Refused, why);
}

// The job's memory, the board's job and the plan of its swaths.
Status OpenJob(Job *job, const JobProp *pProp, const std::string &folder, JobRequests *requests) {
    if (!job->link.Usable()) return Status::Bad(StatusCode::NoMemory, "no signals for the job's threads");
    PrepareJob(job, pProp, folder);
    if (!TakeJobMemory(job)) return Status::Bad(StatusCode::NoMemory, "job buffers");
    // A request left from before the job belongs to no job.
    ClearRequests(requests);
    if (const Status opened = OpenJobOnBoard(job); !opened.ok()) return opened;
    if (!PlanJob(job)) {
        (void)CloseJobLink(&job->link);  // refused: how the link ended adds nothing
        return Refuse("line wider than the widest swath");
    }
    return Status::Good();
}

}  // namespace

void PrepareJob(Job *job, const JobProp *host, const std::string &folder) {
    RememberHostValues(&job->host, host);
    JobProp *work = &job->print.prop;
    *work = *host;
    SetUpInputDepth(&job->host, work, folder);
    work->Bits = 1;
    work->Pass = work->YDPI / 360;
    WidenLine(work);
    PublishMode(&job->print.mode, work);
}

bool TakeJobMemory(Job *job) {
    const JobProp &work = job->print.prop;
    if (!AllocJobBuffers(&job->buffers, work.XDPI, work.YDPI, AllocWidthFor(work.Width, work.XDPI)))
        return false;
    QueueUseBuffers(&job->link, job->buffers.queueData, job->buffers.plan.queueData);
    QueueInit(&job->link);
    return true;
}

bool PlanJob(Job *job) {
    SelectSpeedClass(&job->print);
    return PlanSlices(&job->slices, &job->print.prop, &job->print.board);
}

void SetUpPipeline(Job *job) {
    PrintJob *print = &job->print;
    Pipeline *pipeline = &job->pipeline;
    ConvertColorToChannel(&print->prop, &print->board, &pipeline->format, XdpiIs720(job));
    SetupPassGeometry(print, pipeline, XdpiIs720(job), job->buffers.soften);
    InitStrips(&job->buffers, &print->prop);
    SwathCycleJob cycle{};
    for (uint32_t i = 0; i < 6; ++i) {
        cycle.strip[i] = job->buffers.strip[i];
        cycle.pass[i] = job->buffers.pass[i];
    }
    cycle.stride = print->prop.BytesPerLine;
    cycle.lineBytes = job->host.bytesPerLine;
    cycle.hostXdpi = job->host.xdpi;
    cycle.soften = job->buffers.soften;
    cycle.swath = job->buffers.swath;
    cycle.swathBytes = kSwathBufferBytes;
    cycle.printSliceNum = job->slices.printSliceNum;
    cycle.dotClass = DotSizeClass(print);
    StartSwathCycle(pipeline, print, cycle);
}

Status StartJob(PrinterState *printer, const JobProp *pProp) {
    if (!pProp) return Refuse("no job properties");
    TraceJob("API_StartPrint", pProp);
    // A second StartPrint must not touch the running job, whose lines are
    // measured with the host values remembered here.
    if (RunningJob(printer)) return Status::Good();
    if (const char *problem = JobPropProblem(pProp)) {
        sl_trace("StartPrint refused: XDPI:%u YDPI:%u Width:%u Colors:%u\n", pProp->XDPI, pProp->YDPI,
                 pProp->Width, pProp->Colors);
        return Refuse(problem);
    }

    // A job that failed on its own leaves its record until ClosePrint; a new
    // one replaces it. A job that cannot start is destroyed at once.
    EndJob(printer);
    printer->job = std::make_unique<Job>(&printer->requests, &printer->statusFile, &printer->addresses,
                                         &printer->heartbeat, printer->commandBytes);
    Job *job = printer->job.get();
    const Status opened = OpenJob(job, pProp, printer->statusFile.folder, &printer->requests);
    if (!opened.ok()) {
        EndJob(printer);
        return opened;
    }
    SetUpPipeline(job);
    TraceJob("gJobProp", &job->print.prop);
    job->started.store(true);
    PostJobStatus(&printer->statusFile, kPostJobStart, &job->print, job->link.JobId.load());
    return Status::Good();
}

}  // namespace sl
