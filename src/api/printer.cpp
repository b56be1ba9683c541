#include "api/printer.h"

#include "api/job_close.h"
#include "api/job_start.h"
#include "api/line_input.h"
#include "api/printer_state.h"
#include "files/log_folder.h"
#include "files/shared_status.h"
#include "files/status_file.h"
#include "link/tcp_link.h"
#include "platform/platform.h"
#include "swathlink_version.h"

namespace sl {

namespace {

// The library's protocol version, as its traces have always shown it; the
// release (SWATHLINK_VERSION, set by the build) is traced beside it.
constexpr int kLibraryVersion = 203;

// The session's record is made afresh: nothing of an earlier session or job
// carries over.
void OpenSession(PrinterState *p) {
    ClearRequests(&p->requests);
    p->session = Session{};
    p->session.languageId = plat_default_locale();
    PrepareLogFolder(&p->statusFile, p->folderChoice.empty() ? plat_prnlog_dir() : p->folderChoice);
    const PlatTime t = plat_local_time();
    p->session.startTime = t;
    sl_trace("API_InitPrinter version:%d swathlink %s %d-%d-%d %d:%d:%d\n", kLibraryVersion, SWATHLINK_VERSION,
             t.year, t.month, t.day, t.hour, t.minute, t.second);
    uint32_t pc = 0, board = 0;
    ReadAddresses(p->statusFile.folder, &pc, &board);
    p->addresses = LinkAddresses{};
    IPValueToText(pc, p->addresses.localIp);
    IPValueToText(board, p->addresses.boardIp);
}

}  // namespace

PrinterState::~PrinterState() {
    job.reset();
    ReleaseHeartbeatBlock(heartbeat);
}

}  // namespace sl

namespace swathlink {

using sl::PrinterState;

Printer::Printer(std::string statusFolder)
    : state_(std::make_unique<PrinterState>(std::move(statusFolder))) {}

Printer::~Printer() {
    if (JobRunning()) Close();
}

Status Printer::Init() {
    std::lock_guard<std::mutex> hold(state_->hostCalls);
    if (sl::RunningJob(state_.get())) return Status::Good();  // a running job keeps its session
    sl::OpenSession(state_.get());
    return Status::Good();
}

Status Printer::StartPrint(const JobProp &job) {
    std::lock_guard<std::mutex> hold(state_->hostCalls);
    return sl::StartJob(state_.get(), &job);
}

Status Printer::PrintLines(const uint8_t *data, uint32_t size) {
    std::lock_guard<std::mutex> hold(state_->hostCalls);
    sl::Job *job = sl::RunningJob(state_.get());
    if (job) return sl::PrintLines(job, data, size);
    // Without a job lines are ignored, unless an abort is pending.
    if (sl::AbortRequested(&state_->requests)) return Status::Bad(StatusCode::Aborted, "the job is aborted");
    return Status::Good();
}

Status Printer::EndPrint() {
    std::lock_guard<std::mutex> hold(state_->hostCalls);
    if (sl::Job *job = sl::RunningJob(state_.get())) sl::EndPrintJob(job);
    return Status::Good();
}

void Printer::Abort() { sl::RequestAbort(&state_->requests); }
void Printer::Pause() { sl::RequestPause(&state_->requests, true); }
void Printer::Continue() { sl::RequestPause(&state_->requests, false); }

Status Printer::Close() {
    std::lock_guard<std::mutex> hold(state_->hostCalls);
    return sl::CloseJob(state_.get());
}

bool Printer::JobRunning() const { return sl::RunningJob(state_.get()) != nullptr; }

uint32_t Printer::LanguageId() const { return state_->session.languageId; }

}  // namespace swathlink
