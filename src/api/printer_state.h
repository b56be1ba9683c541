// The printer record: one session with one board, from InitPrinter on, and
// the one job it runs. The session owns what outlives a job (addresses,
// the status file and the heartbeat mapping, the operator's language, the
// abort and pause requests); the job (api/job_state.h) owns everything
// else and is destroyed when it closes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "api/job_state.h"
#include "files/files_common.h"
#include "platform/platform.h"
#include "shared/records.h"

namespace sl {

// What the last job ended with: the board's settings for it, the serial its
// next swath would have had, and whether the board stopped it.
struct JobSummary {
    UISetupPara board{};
    uint32_t swathSerial = 1;
    bool stoppedByBoard = false;
};

// What InitPrinter found when it opened the session.
struct Session {
    uint32_t languageId = 1033;  // of the operator messages
    PlatTime startTime{};
};

struct PrinterState {
    explicit PrinterState(std::string folder) : folderChoice(std::move(folder)) {}
    ~PrinterState();

    // The hidden folder; empty: the system's, looked up at every InitPrinter.
    const std::string folderChoice;
    Session session;
    LinkAddresses addresses;
    StatusFile statusFile;
    // Set from any thread (AbortPrint, PausePrint, ContinuePrint, the
    // companion's requests); they outlive every job, so a request that
    // races ClosePrint touches nothing that is freed.
    JobRequests requests;
    uint8_t *heartbeat = nullptr;  // the mapping of "ShareFile", once a job has made it
    // The command record's bytes as the last job left them: the next job's
    // record starts from them (see JobLink).
    uint8_t commandBytes[64] = {};
    std::unique_ptr<Job> job;  // from StartPrint to ClosePrint (or the next StartPrint after a failure)
    JobSummary lastJob;
    std::mutex hostCalls;  // one host-side operation at a time
};

// Destroys the printer's job, keeping the command record's bytes for the
// next one. Its threads end first.
inline void EndJob(PrinterState *p) {
    if (!p->job) return;
    std::memcpy(p->commandBytes, p->job->link.command.packet, sizeof p->commandBytes);
    p->lastJob.board = p->job->print.board;
    p->lastJob.swathSerial = p->job->link.SwathSN.load();
    p->lastJob.stoppedByBoard = p->job->link.PrintStopFlag.load();
    p->job.reset();
}

// The job that is running, or nullptr.
inline Job *RunningJob(const PrinterState *p) {
    return p->job && p->job->started.load() ? p->job.get() : nullptr;
}

}  // namespace sl
