// The job record: everything one job owns, from a successful StartPrint to
// ClosePrint. Made by StartPrint, destroyed by ClosePrint; the printer
// (api/printer_state.h) holds the one running job.
#pragma once

#include <atomic>
#include <cstdint>

#include "api/memory_plan.h"
#include "pipeline/swath_cycle.h"
#include "shared/print_job.h"
#include "transport/job_link.h"

namespace sl {

// The host's view of the job: its values as StartPrint received them and
// the input depth PrintALine expands.
struct HostView {
    uint32_t xdpi;
    uint32_t ydpi;
    uint32_t pass;
    uint32_t width;
    uint32_t declaredBytesPerLine;  // BytesPerLine as declared (1-bit jobs: not doubled)
    uint32_t bytesPerLine;          // one plane of one line after expansion
    uint32_t oneBitInput;           // 1: lines are expanded through dotSizeTable
    uint16_t dotSizeTable[256];
};

struct Job {
    Job(JobRequests *requests, StatusFile *statusFile, LinkAddresses *addresses, uint8_t **heartbeat,
        const uint8_t *carriedCommand = nullptr)
        : link(&print, statusFile, addresses, heartbeat, carriedCommand) {
        print.requests = requests;
        link.requests = requests;
    }
    ~Job() { ReleaseJobBuffers(&buffers); }
    Job(const Job &) = delete;
    Job &operator=(const Job &) = delete;

    HostView host{};
    PrintJob print;  // working copy, mode, board settings, pass geometry
    JobBuffers buffers{};
    SlicePlan slices{};
    Pipeline pipeline;
    JobLink link;                      // socket, threads, queue; its threads end before the job is destroyed
    std::atomic<bool> started{false};  // from the end of a successful StartPrint
    bool failed = false;               // a fatal hand-off failure released the job's buffers
    uint32_t totalLines = 0;           // host lines taken since StartPrint
    uint8_t expanded[kExpandBufferBytes];  // the one line being expanded from 1 bit
};

// The XDPI-is-720 test: true for the whole job when the host's XDPI is 720.
inline bool XdpiIs720(const Job *job) { return job->host.xdpi == 720; }

// The job-aborted test: abort requested, or the board stopped the job.
inline bool JobIsAborted(const Job *job) {
    return AbortRequested(job->print.requests) || job->link.PrintStopFlag.load();
}

}  // namespace sl
