// The default printer the entry points act on, as the tests look into it:
// its record, the running job and what that job holds.
#pragma once

#include <cstdint>

#include "api/default_printer.h"
#include "api/printer_state.h"
#include "platform/platform.h"

namespace sl::test {

inline PrinterState *DefaultState() { return DefaultPrinter().State(); }
// The job record the default printer holds (a job that failed on its own
// stays until ClosePrint), or nullptr.
inline Job *HeldJob() { return DefaultState()->job.get(); }
// The running job's link; the test fails at once when there is none.
inline JobLink &JobLinkOf() {
    Job *job = HeldJob();
    if (!job) throw "no job";
    return job->link;
}
inline uint32_t JobStarted() { return HeldJob() && HeldJob()->started.load() ? 1u : 0u; }
inline uint32_t JobFailed() { return HeldJob() && HeldJob()->failed ? 1u : 0u; }
inline const uint8_t *HeldJobBlock() { return HeldJob() ? HeldJob()->buffers.block : nullptr; }
// What the job left behind when it ended: with no job held, nothing (no
// thread, no socket).
inline const PlatThread *TxThreadLeft() { return HeldJob() ? HeldJob()->link.TxThread : nullptr; }
inline const PlatThread *RxThreadLeft() { return HeldJob() ? HeldJob()->link.RxThread : nullptr; }
inline const PlatThread *HeartThreadLeft() { return HeldJob() ? HeldJob()->link.HeartThread : nullptr; }
inline PlatSocket SocketLeft() { return HeldJob() ? HeldJob()->link.socket.load() : kInvalidSocket; }
// The held job's swath serial and board settings, else those the last job
// ended with.
inline uint32_t SwathSerial() {
    return HeldJob() ? HeldJob()->link.SwathSN.load() : DefaultState()->lastJob.swathSerial;
}
inline const UISetupPara &BoardSettings() {
    return HeldJob() ? HeldJob()->print.board : DefaultState()->lastJob.board;
}
inline uint32_t StoppedByBoard() {
    if (HeldJob()) return HeldJob()->link.PrintStopFlag.load();
    return DefaultState()->lastJob.stoppedByBoard ? 1u : 0u;
}
// Host lines the held job took (none without a job).
inline uint32_t LinesTaken() { return HeldJob() ? HeldJob()->totalLines : 0u; }
inline uint32_t AbortFlag() { return DefaultState()->requests.abort.load() ? 1u : 0u; }
inline uint32_t PauseFlag() { return DefaultState()->requests.pause.load() ? 1u : 0u; }

}  // namespace sl::test
