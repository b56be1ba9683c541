// Session and job state kept by the entry points.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "swathlink/records.h"

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

// The running job as the entry points see it.
struct JobRun {
    std::atomic<uint32_t> started{0};
    uint32_t failed = 0;      // a fatal hand-off failure released the job's buffers
    uint32_t totalLines = 0;  // host lines taken since StartPrint
};

// The session InitPrinter opens.
struct Session {
    uint32_t languageId = 1033;  // of the operator messages
    PlatTime startTime{};
};

extern HostView gHost;
extern JobRun gRun;
extern Session gSession;

// Puts the session's and the job's records back to their state at load:
// InitPrinter runs it when no job is running, and every test fixture
// starts from it. The job's memory and the board link are left alone (they
// have their own start and release).
void ResetLibraryState();

// The XDPI-is-720 test: true for the whole job when the host's XDPI is 720.
inline bool XdpiIs720() { return gHost.xdpi == 720; }

// The job-aborted test: abort requested, or the board stopped the job.
bool JobIsAborted();

}  // namespace sl
