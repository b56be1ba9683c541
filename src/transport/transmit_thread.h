// The transmit thread: the only sender on the link.
#pragma once

#include <cstdint>

#include "transport/job_link.h"

namespace sl {

int TransmitThread(void *link);
// One step of the print-state machine; builds the step's command, if any.
uint8_t PrintStateStep(JobLink *link, uint8_t state);
// What one command step of the transmit thread did.
enum class TxCommand : uint8_t {
    Idle,  // nothing to send
    Busy,  // a command went out, or the link is paused or changing state
    Stop,  // the job's link is over (or the command could not be sent)
};
TxCommand TransmitCommandStep(JobLink *link);
// What one swath step did.
enum class TxSwath : uint8_t {
    NoneReady,
    Sent,     // sent, answered and released
    NotSent,  // abandoned for now; it stays queued
};
TxSwath TransmitSwathStep(JobLink *link);
// True when the swath was sent and answered; false when it was abandoned.
[[nodiscard]] bool SendSwath(JobLink *link, SwathEntry *e);

}  // namespace sl
